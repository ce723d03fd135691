// NumPy's C API as this module uses it: one shared table pointer, filled on first use (never at
// import), built against NumPy 2 headers but limited to the 1.22 feature set so that the same
// binary runs with NumPy 1.x and 2.x.
#pragma once
// NumPy's headers are third-party code: keep their warnings out of this project's build.
#pragma GCC system_header

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#define NPY_NO_DEPRECATED_API NPY_1_22_API_VERSION
#define NPY_TARGET_VERSION NPY_1_22_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL kestova_numpy_array_api
#define NO_IMPORT_ARRAY
#include <numpy/arrayobject.h>
