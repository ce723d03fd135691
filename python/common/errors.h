// The boundary between C++ and Python failures: codec errors and internal faults.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <new>

#include "codec/error.h"

namespace kestova::python {

// Raises ValueError carrying the codec error's message with no prefix; returns nullptr.
PyObject* raise_codec_error(const KestovaError& error);

// Raises the Python exception for an internal fault caught as `fault`.
void raise_internal_fault(std::exception_ptr fault);

// Runs `body`; a C++ exception escaping it becomes a Python exception and `failure` is returned,
// so no internal fault crosses into the interpreter.
template <typename Result, typename Body>
Result guarded(Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        raise_internal_fault(std::current_exception());
        return failure;
    }
}

}  // namespace kestova::python
