// The HDF5 filter's recorded values for Python: settings to values, values to settings.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace kestova::codecs {

// hdf5_filter_values(method, scale, cutoff, coder, encoder, max_error, relative) -> tuple of int
PyObject* hdf5_filter_values(PyObject* module, PyObject* args);

// hdf5_filter_settings(values) -> dict of the settings, and dtype and chunk_elements when the
// values are a dataset's complete ones.
PyObject* hdf5_filter_settings(PyObject* module, PyObject* values);

// Adds HDF5_FILTER_ID and HDF5_FILTER_NAME to the module; -1 with an exception on failure.
int add_hdf5_constants(PyObject* module);

}  // namespace kestova::codecs
