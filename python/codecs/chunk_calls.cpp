#include "python/codecs/chunk_calls.h"

#include <array>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "codec/chunk/chunk_codec.h"
#include "python/codecs/chunk_settings_option.h"
#include "python/codecs/decoded_samples.h"
#include "python/codecs/held_buffer.h"
#include "python/common/arguments.h"
#include "python/common/errors.h"

namespace kestova::codecs {

namespace {

constexpr std::array<const char*, 13> kEncodeParameters{
    "data",   "dtype",   "method",         "scale",    "cutoff",
    "coder",  "encoder", "max_error",      "relative", "omit_trailing_nan",
    "format", "psnr",    "bits_per_sample"};
constexpr python::Signature kEncodeSignature{"encode_chunk", kEncodeParameters, 10};
constexpr std::array<const char*, 7> kCheckParameters{"method",  "coder",     "scale",   "cutoff",
                                                      "encoder", "max_error", "relative"};
constexpr python::Signature kCheckSignature{"check_settings", kCheckParameters, 7};
constexpr std::array<const char*, 4> kDecodeParameters{"data", "dtype", "elements", "fill"};
constexpr python::Signature kDecodeSignature{"decode_chunk", kDecodeParameters, 4};

// The fills decode_chunk takes, by name.
constexpr std::array<std::pair<const char*, ChunkFill>, 3> kFills{{
    {"exact", ChunkFill::Exact},
    {"trailing_nan", ChunkFill::TrailingNaN},
    {"at_most", ChunkFill::AtMost},
}};

// The element type named by the str `name`; nothing with ValueError set for another.
std::optional<ElementType> parse_element_type(PyObject* name) {
    const char* text = PyUnicode_Check(name) ? PyUnicode_AsUTF8(name) : nullptr;
    const ElementType type = text ? element_type_named(text) : ElementType::Unsupported;
    if (type == ElementType::Unsupported) {
        if (!PyErr_Occurred()) {
            PyErr_Format(PyExc_ValueError, "Kestova cannot store dtype %S; supported: %s", name,
                         supported_element_names().c_str());
        }
        return std::nullopt;
    }
    return type;
}

// `run()` with the interpreter lock released; nothing with the fault raised if it threw.
template <typename Run>
auto unlocked(Run&& run) -> std::optional<decltype(run())> {
    std::optional<decltype(run())> result;
    std::exception_ptr fault;
    Py_BEGIN_ALLOW_THREADS try { result.emplace(run()); } catch (...) {
        fault = std::current_exception();
    }
    Py_END_ALLOW_THREADS if (fault) python::raise_internal_fault(fault);
    return result;
}

// The truth of `value`; nothing with the exception set when its truth test raised.
std::optional<bool> truth(PyObject* value) {
    const int result = PyObject_IsTrue(value);
    if (result < 0) return std::nullopt;
    return result == 1;
}

PyObject* raise_text(const std::string& text) {
    PyErr_SetString(PyExc_ValueError, text.c_str());
    return nullptr;
}

}  // namespace

PyObject* encode_chunk_buffer(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
    return python::guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, kEncodeParameters.size()> a{};
        if (!python::bind_fastcall(kEncodeSignature, args, nargs, kwnames, a)) return nullptr;
        const auto type = parse_element_type(a[1]);
        if (!type) return nullptr;
        const auto relative = truth(a[8]);
        if (!relative) return nullptr;
        auto settings = parse_chunk_settings(a[2], a[3], a[4], a[5], a[6], a[7], *relative);
        if (!settings) return nullptr;
        if (a[10] != nullptr && a[10] != Py_None) {
            const long format = PyLong_AsLong(a[10]);
            if (format == -1 && PyErr_Occurred()) return nullptr;
            if (format != 1 && format != 2) return raise_text("format must be 1 or 2");
            settings->format = static_cast<uint8_t>(format);
        }
        if (a[11] != nullptr && a[11] != Py_None) {
            settings->psnr = PyFloat_AsDouble(a[11]);
            if (settings->psnr == -1.0 && PyErr_Occurred()) return nullptr;
        }
        if (a[12] != nullptr && a[12] != Py_None) {
            settings->bits_per_sample = PyFloat_AsDouble(a[12]);
            if (settings->bits_per_sample == -1.0 && PyErr_Occurred()) return nullptr;
        }
        const auto omit = truth(a[9]);
        if (!omit) return nullptr;
        HeldBuffer input;
        if (!input.acquire(a[0])) return nullptr;
        const auto result =
            unlocked([&] { return encode_chunk(input.bytes(), *type, *settings, *omit); });
        if (!result) return nullptr;
        if (!*result) return raise_text(result->error());
        return PyBytes_FromStringAndSize(reinterpret_cast<const char*>((*result)->data()),
                                         static_cast<Py_ssize_t>((*result)->size()));
    });
}

PyObject* check_settings(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return python::guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, kCheckParameters.size()> a{};
        if (!python::bind_fastcall(kCheckSignature, args, nargs, kwnames, a)) return nullptr;
        const auto relative = truth(a[6]);
        if (!relative) return nullptr;
        const auto settings = parse_chunk_settings(a[0], a[2], a[3], a[1], a[4], a[5], *relative);
        if (!settings) return nullptr;
        if (const auto checked = check_chunk_settings(*settings); !checked) {
            return raise_text(checked.error());
        }
        Py_RETURN_NONE;
    });
}

PyObject* decode_chunk_buffer(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
    return python::guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, kDecodeParameters.size()> a{};
        if (!python::bind_fastcall(kDecodeSignature, args, nargs, kwnames, a)) return nullptr;
        const auto type = parse_element_type(a[1]);
        if (!type) return nullptr;
        const unsigned long long elements = PyLong_AsUnsignedLongLong(a[2]);
        if (PyErr_Occurred()) return nullptr;
        std::optional<ChunkFill> fill;
        for (const auto& [name, value] : kFills) {
            if (PyUnicode_Check(a[3]) && PyUnicode_CompareWithASCIIString(a[3], name) == 0) {
                fill = value;
            }
        }
        if (!fill) {
            PyErr_Format(PyExc_ValueError, "unknown chunk fill %R", a[3]);
            return nullptr;
        }
        HeldBuffer input;
        if (!input.acquire(a[0])) return nullptr;
        auto result = unlocked([&] {
            return decode_chunk(input.bytes(), *type, {elements, *fill});
        });
        if (!result) return nullptr;
        if (!*result) return raise_text(result->error());
        return wrap_decoded_chunk(std::move(**result));
    });
}

}  // namespace kestova::codecs
