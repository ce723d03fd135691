// encode_chunk and decode_chunk: the chunk layer (codec/chunk/chunk_codec.h) for the Python
// codecs, run without the interpreter lock.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace kestova::codecs {

// encode_chunk(data, dtype, method, scale, cutoff, coder, encoder, max_error, relative,
// omit_trailing_nan) -> bytes; see the method table entry in module.cpp.
PyObject* encode_chunk_buffer(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames);

// check_settings(method, scale, cutoff, coder, encoder, max_error, relative) -> None; ValueError
// for settings the chunk layer refuses.
PyObject* check_settings(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// decode_chunk(data, dtype, elements, fill) -> DecodedSamples holding the chunk's elements.
PyObject* decode_chunk_buffer(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames);

}  // namespace kestova::codecs
