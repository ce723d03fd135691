// kestova_codecs._binding.compress_bounded: the tuned encoder held to an absolute error bound.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace kestova::codecs {

// compress_bounded(data, max_error, method=None, coder=None) -> (bytes or None, max_error_reached,
// method, scale); see the method table entry in module.cpp.
PyObject* compress_bounded_buffer(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames);

}  // namespace kestova::codecs
