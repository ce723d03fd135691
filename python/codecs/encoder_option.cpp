#include "python/codecs/encoder_option.h"

#include <string>

#include "python/common/arguments.h"
#include "python/common/py_ref.h"

namespace kestova::codecs {

std::optional<Encoder> parse_encoder(PyObject* value) {
    if (value == nullptr || value == Py_None) return Encoder::Reference;
    if (!PyUnicode_Check(value)) {
        python::raise_not_instance("encoder", value, "str");
        return std::nullopt;
    }
    for (const EncoderEntry& entry : kEncoders) {
        if (PyUnicode_CompareWithASCIIString(value, std::string(entry.name).c_str()) == 0) {
            return entry.encoder;
        }
    }
    std::string expected;
    for (const EncoderEntry& entry : kEncoders) {
        expected += (expected.empty() ? "'" : " or '") + std::string(entry.name) + "'";
    }
    PyErr_Format(PyExc_ValueError, "Unknown encoder %R, expected %s", value, expected.c_str());
    return std::nullopt;
}

int add_encoder_names(PyObject* module) {
    const python::PyRef names(PyTuple_New(static_cast<Py_ssize_t>(kEncoders.size())));
    if (!names) return -1;
    for (std::size_t k = 0; k < kEncoders.size(); ++k) {
        PyObject* name = PyUnicode_FromStringAndSize(
            kEncoders[k].name.data(), static_cast<Py_ssize_t>(kEncoders[k].name.size()));
        if (name == nullptr) return -1;
        PyTuple_SET_ITEM(names.get(), static_cast<Py_ssize_t>(k), name);
    }
    Py_INCREF(names.get());
    if (PyModule_AddObject(module, "ENCODERS", names.get()) < 0) {
        Py_DECREF(names.get());
        return -1;
    }
    const std::string_view fallback = encoder_name(kDefaultEncoder);
    return PyModule_AddStringConstant(module, "DEFAULT_ENCODER", std::string(fallback).c_str());
}

}  // namespace kestova::codecs
