// The `encoder` setting as Python passes it (the names: tables()).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>

#include "codec/encoder.h"

namespace kestova::codecs {

// The encoder named by `value` (borrowed; nullptr or None mean "reference", the encoder whose
// bytes kestova.compress_signal writes); nothing with TypeError or ValueError set.
std::optional<Encoder> parse_encoder(PyObject* value);

}  // namespace kestova::codecs
