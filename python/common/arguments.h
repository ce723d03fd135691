// Argument binding with the interpreter's wording, and the type errors of argument conversion.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <span>

namespace kestova::python {

// A callable's parameters, all positional-or-keyword; the first `required` have no default
// (at most one does in this module).
struct Signature {
    const char* function;  // the name that binding errors show, e.g. "compress_signal"
    std::span<const char* const> parameters;
    std::size_t required;
};

// Binds fast-call arguments to `bound` (borrowed, nullptr when absent); false with TypeError set.
bool bind_fastcall(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames, std::span<PyObject*> bound);

// Binds a positional tuple and an optional keyword dict to `bound`, as bind_fastcall does.
bool bind_tuple(const Signature& signature, PyObject* args, PyObject* kwargs,
                std::span<PyObject*> bound);

// Raises TypeError "argument '{name}': '{type}' object is not an instance of '{expected}'".
void raise_not_instance(const char* name, PyObject* object, const char* expected);

// Prefixes a pending TypeError with "argument '{name}': "; other exceptions stay as they are.
void prefix_type_error(const char* name);

}  // namespace kestova::python
