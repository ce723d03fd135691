// The module functions compress_signal and decompress_signal.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace kestova::python {

// Definition of compress_signal(data, options=None) -> bytes.
PyMethodDef* compress_signal_def();

// Definition of decompress_signal(data) -> numpy.ndarray[float32].
PyMethodDef* decompress_signal_def();

}  // namespace kestova::python
