// Owning handle for a Python object reference, so every exit path releases what it holds.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>

namespace kestova::python {

struct PyDecRef {
    void operator()(PyObject* object) const { Py_DECREF(object); }
};

// A strong reference that is released when the handle goes out of scope.
using PyRef = std::unique_ptr<PyObject, PyDecRef>;

}  // namespace kestova::python
