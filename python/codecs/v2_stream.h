// kestova_codecs._binding's version-2 functions: encode any supported sample buffer, read a
// stream's fields, decode into a caller's array; the codec runs without the interpreter lock.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace kestova::codecs {

// encode_v2(data, element_type, max_error=None, relative=True, psnr=None)
//     -> (bytes, max_error_reached)
PyObject* encode_v2(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// v2_stream_length(data) -> the length a version-2 stream at the start of `data` states
PyObject* v2_stream_length(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// read_v2_header(data) -> dict of the stream's fields (checksum checked)
PyObject* read_v2_header(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// decode_v2_into(data, out) -> None; `out` a writable buffer of exactly the stream's samples
PyObject* decode_v2_into(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace kestova::codecs
