#include "python/common/option_parsing.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codec/error.h"
#include "codec/method_table.h"
#include "codec/option_names.h"
#include "python/common/arguments.h"
#include "python/common/errors.h"
#include "python/common/py_ref.h"

namespace kestova::python {

namespace {

// The table entry whose text equals `text` exactly (case and whitespace included), if any.
template <typename Value, std::size_t N>
std::optional<Value> lookup(PyObject* text, const std::array<Choice<Value>, N>& table) {
    for (const auto& choice : table) {
        if (PyUnicode_CompareWithASCIIString(text, choice.text) == 0) return choice.value;
    }
    return std::nullopt;
}

// The method named exactly `text`, if any.
std::optional<CompressionMethod> lookup_method(PyObject* text) {
    for (const MethodEntry& entry : kMethods) {
        if (PyUnicode_CompareWithASCIIString(text, std::string(entry.name).c_str()) == 0) {
            return entry.method;
        }
    }
    return std::nullopt;
}

// The format of the unknown-method error: its one %U receives the quoted text, followed by
// every method name.
const std::string& unknown_method_format() {
    static const std::string format = [] {
        std::string text = "Unknown method %U, expected ";
        for (const MethodEntry& entry : kMethods) {
            if (&entry != &kMethods.front()) text += " or ";
            text += "'" + std::string(entry.name) + "'";
        }
        return text;
    }();
    return format;
}

// Appends the ASCII characters of `chars` to `out`.
void append_ascii(std::vector<Py_UCS4>& out, std::string_view chars) {
    out.insert(out.end(), chars.begin(), chars.end());
}

// `text` in double quotes for an error message, with quote, backslash and non-printable
// characters escaped (\t \r \n \0, otherwise \u{hex}).
PyRef quote(PyObject* text) {
    std::vector<Py_UCS4> out{'"'};
    const int kind = PyUnicode_KIND(text);
    const void* data = PyUnicode_DATA(text);
    for (Py_ssize_t i = 0; i < PyUnicode_GET_LENGTH(text); ++i) {
        const Py_UCS4 c = PyUnicode_READ(kind, data, i);
        switch (c) {
            case '"':
                append_ascii(out, "\\\"");
                break;
            case '\\':
                append_ascii(out, "\\\\");
                break;
            case '\t':
                append_ascii(out, "\\t");
                break;
            case '\r':
                append_ascii(out, "\\r");
                break;
            case '\n':
                append_ascii(out, "\\n");
                break;
            case '\0':
                append_ascii(out, "\\0");
                break;
            default:
                if (Py_UNICODE_ISPRINTABLE(c)) {
                    out.push_back(c);
                } else {
                    char hex[16];
                    PyOS_snprintf(hex, sizeof hex, "\\u{%x}", static_cast<unsigned>(c));
                    append_ascii(out, hex);
                }
        }
    }
    out.push_back('"');
    return PyRef(PyUnicode_FromKindAndData(PyUnicode_4BYTE_KIND, out.data(),
                                           static_cast<Py_ssize_t>(out.size())));
}

// Raises ValueError from `format`, whose one %U receives `text` quoted.
void raise_unknown(const char* format, PyObject* text) {
    const PyRef quoted = quote(text);
    if (quoted) PyErr_Format(PyExc_ValueError, format, quoted.get());
}

// True when `value` is absent or a str; otherwise raises the argument's TypeError.
bool check_str(const char* name, PyObject* value) {
    if (value == nullptr || PyUnicode_Check(value)) return true;
    raise_not_instance(name, value, "str");
    return false;
}

// Converts `scale` to 0..255 (11 when absent); false with TypeError or OverflowError set.
// Only __index__ counts as an integer conversion, so floats are refused on every Python.
bool convert_scale(PyObject* value, uint8_t& scale) {
    if (value == nullptr) return true;
    const PyRef integer(PyNumber_Index(value));
    if (!integer) {
        prefix_type_error("scale");
        return false;
    }
    const long converted = PyLong_AsLong(integer.get());
    if (converted >= 0 && converted <= UINT8_MAX) {
        scale = static_cast<uint8_t>(converted);
        return true;
    }
    PyErr_Clear();  // a long overflow counts as out of range too
    PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
    return false;
}

}  // namespace

std::optional<CompressionOptions> parse_options(PyObject* method, PyObject* scale, PyObject* cutoff,
                                                PyObject* coder) {
    CompressionOptions options;
    if (coder == Py_None) coder = nullptr;
    if (!check_str("method", method) || !convert_scale(scale, options.scale) ||
        !check_str("cutoff", cutoff) || !check_str("coder", coder)) {
        return std::nullopt;
    }
    if (method != nullptr) {
        const auto found = lookup_method(method);
        if (!found) {
            raise_unknown(unknown_method_format().c_str(), method);
            return std::nullopt;
        }
        options.method = *found;
    }
    if (cutoff != nullptr) {
        const auto found = lookup(cutoff, kCutoffNames);
        if (!found) {
            raise_unknown("Unknown cutoff level %U, expected 'low' or 'medium' or 'high'", cutoff);
            return std::nullopt;
        }
        options.cutoff = *found;
    }
    if (!is_supported_scale(options.scale)) {
        raise_codec_error(KestovaError::unsupported_scale(options.scale));
        return std::nullopt;
    }
    if (coder != nullptr) {
        const auto found = lookup(coder, kCoderNames);
        if (!found) {
            raise_unknown("Unknown coder %U, expected 'auto', 'deflate', 'arans'", coder);
            return std::nullopt;
        }
        options.coder = *found;
    }
    return options;
}

}  // namespace kestova::python
