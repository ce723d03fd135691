// The codecs' settings as Python passes them, parsed into the chunk layer's ChunkSettings.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>

#include "codec/chunk/chunk_settings.h"

namespace kestova::codecs {

// The settings named by method (None: chosen for each chunk), scale and cutoff (None: the
// defaults), coder, encoder, max_error (None: no bound) and relative (borrowed); nothing with an
// exception set.
std::optional<ChunkSettings> parse_chunk_settings(PyObject* method, PyObject* scale,
                                                  PyObject* cutoff, PyObject* coder,
                                                  PyObject* encoder, PyObject* max_error,
                                                  bool relative);

}  // namespace kestova::codecs
