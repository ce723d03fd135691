// DecodedSamples: owns a decoded float32 buffer (or a decoded chunk's elements) and lends it
// through the buffer protocol, so NumPy wraps the decoder's own memory (numpy.frombuffer) instead
// of a copy.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <vector>

#include "codec/chunk/chunk_codec.h"

namespace kestova::codecs {

// The type object, made ready on first use; nullptr with an exception set on failure.
PyTypeObject* decoded_samples_type();

// A new DecodedSamples that takes over `samples`; nullptr with an exception set on failure.
PyObject* wrap_decoded(std::vector<float>&& samples);
PyObject* wrap_decoded_chunk(DecodedChunk&& chunk);

}  // namespace kestova::codecs
