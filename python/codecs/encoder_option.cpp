#include "python/codecs/encoder_option.h"

#include <string>

#include "python/common/arguments.h"

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

}  // namespace kestova::codecs
