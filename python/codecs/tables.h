// tables(): the codec's names, ranges and defaults as Python values, read from the C++ tables, so
// that Python code (the codecs, the command) never spells them out a second time.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>

#include "codec/options.h"

namespace kestova::codecs {

// The name of a known method, as options take it.
std::string_view method_name(CompressionMethod method);

// tables() -> dict; see the method's docstring in module.cpp.
PyObject* codec_tables(PyObject* module, PyObject* unused);

}  // namespace kestova::codecs
