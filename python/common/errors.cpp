#include "python/common/errors.h"

#include <string>

namespace kestova::python {

PyObject* raise_codec_error(const KestovaError& error) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        const std::string message = error.message();
        PyObject* text = PyUnicode_DecodeUTF8(message.data(),
                                              static_cast<Py_ssize_t>(message.size()), "replace");
        if (text == nullptr) return nullptr;
        PyErr_SetObject(PyExc_ValueError, text);
        Py_DECREF(text);
        return nullptr;
    });
}

void raise_internal_fault(std::exception_ptr fault) {
    try {
        std::rethrow_exception(fault);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
    } catch (...) {
        PyErr_SetString(PyExc_RuntimeError, "unknown internal error");
    }
}

}  // namespace kestova::python
