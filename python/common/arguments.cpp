#include "python/common/arguments.h"

#include "python/common/py_ref.h"

namespace kestova::python {

namespace {

// Places the positional arguments; more than there are parameters is an error.
bool bind_positional(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                     std::span<PyObject*> bound) {
    const auto count = static_cast<std::size_t>(nargs);
    const std::size_t max = signature.parameters.size();
    if (count > max) {
        const char* verb = count == 1 ? "was" : "were";
        if (signature.required == max) {
            PyErr_Format(PyExc_TypeError, "%s() takes %zu positional argument%s but %zu %s given",
                         signature.function, max, max == 1 ? "" : "s", count, verb);
        } else {
            PyErr_Format(PyExc_TypeError,
                         "%s() takes from %zu to %zu positional arguments but %zu %s given",
                         signature.function, signature.required, max, count, verb);
        }
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) bound[i] = args[i];
    return true;
}

// Places one keyword argument by name.
bool bind_keyword(const Signature& signature, PyObject* name, PyObject* value,
                  std::span<PyObject*> bound) {
    if (!PyUnicode_Check(name)) {
        PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", signature.function);
        return false;
    }
    for (std::size_t i = 0; i < signature.parameters.size(); ++i) {
        if (PyUnicode_CompareWithASCIIString(name, signature.parameters[i]) != 0) continue;
        if (bound[i] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'",
                         signature.function, signature.parameters[i]);
            return false;
        }
        bound[i] = value;
        return true;
    }
    PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'",
                 signature.function, name);
    return false;
}

// Reports the first required parameter left without a value.
bool check_required(const Signature& signature, std::span<PyObject*> bound) {
    for (std::size_t i = 0; i < signature.required; ++i) {
        if (bound[i] == nullptr) {
            PyErr_Format(PyExc_TypeError, "%s() missing 1 required positional argument: '%s'",
                         signature.function, signature.parameters[i]);
            return false;
        }
    }
    return true;
}

}  // namespace

bool bind_fastcall(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames, std::span<PyObject*> bound) {
    if (!bind_positional(signature, args, nargs, bound)) return false;
    const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t i = 0; i < nkw; ++i) {
        if (!bind_keyword(signature, PyTuple_GET_ITEM(kwnames, i), args[nargs + i], bound)) {
            return false;
        }
    }
    return check_required(signature, bound);
}

bool bind_tuple(const Signature& signature, PyObject* args, PyObject* kwargs,
                std::span<PyObject*> bound) {
    if (!bind_positional(signature, PySequence_Fast_ITEMS(args), PyTuple_GET_SIZE(args), bound)) {
        return false;
    }
    if (kwargs != nullptr) {
        Py_ssize_t pos = 0;
        PyObject *name, *value;
        while (PyDict_Next(kwargs, &pos, &name, &value)) {
            if (!bind_keyword(signature, name, value, bound)) return false;
        }
    }
    return check_required(signature, bound);
}

void raise_not_instance(const char* name, PyObject* object, const char* expected) {
    auto* type = reinterpret_cast<PyObject*>(Py_TYPE(object));
    PyRef qualname(PyObject_GetAttrString(type, "__qualname__"));
    if (!qualname || !PyUnicode_Check(qualname.get())) {
        PyErr_Clear();
        qualname.reset(PyUnicode_FromString(Py_TYPE(object)->tp_name));
        if (!qualname) return;
    }
    PyErr_Format(PyExc_TypeError, "argument '%s': '%U' object is not an instance of '%s'", name,
                 qualname.get(), expected);
}

void prefix_type_error(const char* name) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    const PyRef owned_type(type);
    const PyRef owned_value(value);
    Py_XDECREF(traceback);
    const PyRef reason(PyObject_Str(value));
    if (!reason) return;
    PyErr_Format(PyExc_TypeError, "argument '%s': %U", name, reason.get());
}

}  // namespace kestova::python
