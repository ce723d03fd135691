// The `encoder` setting as Python passes it, and the encoder names the module publishes.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>

#include "codec/encoder.h"

namespace kestova::codecs {

// The encoder named by `value` (borrowed; nullptr or None mean "reference", the encoder whose
// bytes kestova.compress_signal writes); nothing with TypeError or ValueError set.
std::optional<Encoder> parse_encoder(PyObject* value);

// Adds ENCODERS (every encoder name, in table order) and DEFAULT_ENCODER to `module`; -1 on
// failure.
int add_encoder_names(PyObject* module);

}  // namespace kestova::codecs
