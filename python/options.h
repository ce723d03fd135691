// The class KestovaCompressionOptions: one validated, immutable CompressionOptions record.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>

#include "codec/options.h"

namespace kestova::python {

// The class object, made ready on first use; nullptr with an exception set on failure.
PyTypeObject* options_type();

// The record held by `object` when it is a KestovaCompressionOptions, else nothing.
std::optional<CompressionOptions> read_options(PyObject* object);

}  // namespace kestova::python
