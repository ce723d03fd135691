// read_header(data): the fields of a Kestova container's 52-byte header, judged as the decoder
// judges them, without decoding anything; for readers that must know a container's size first.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace kestova::codecs {

// read_header(data) -> dict; see the method's docstring in module.cpp.
PyObject* read_header(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace kestova::codecs
