#include "python/codecs/v2_stream.h"

#include <array>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "codec/v2/decoder.h"
#include "codec/v2/encoder.h"
#include "codec/v2/rate_target.h"
#include "python/codecs/held_buffer.h"
#include "python/common/arguments.h"
#include "python/common/errors.h"

namespace kestova::codecs {

namespace {

using python::bind_fastcall;
using python::guarded;
using python::Signature;

constexpr std::array<const char*, 6> kEncodeParameters{
    "data", "element_type", "max_error", "relative", "psnr", "bits_per_sample"};
// The targets encode_v2 takes, by their position in kEncodeParameters.
constexpr std::array<std::size_t, 3> kTargetPositions{2, 4, 5};
constexpr Signature kEncodeSignature{"encode_v2", kEncodeParameters, 2};
constexpr std::array<const char*, 1> kHeaderParameters{"data"};
constexpr Signature kHeaderSignature{"read_v2_header", kHeaderParameters, 1};
constexpr Signature kLengthSignature{"v2_stream_length", kHeaderParameters, 1};
constexpr std::array<const char*, 2> kDecodeParameters{"data", "out"};
constexpr Signature kDecodeSignature{"decode_v2_into", kDecodeParameters, 2};

// Runs `body` without the interpreter lock; a C++ exception becomes the Python one after.
template <typename Result, typename Body>
std::optional<Result> unlocked(Body&& body) {
    std::optional<Result> result;
    std::exception_ptr fault;
    Py_BEGIN_ALLOW_THREADS try { result.emplace(body()); } catch (...) {
        fault = std::current_exception();
    }
    Py_END_ALLOW_THREADS if (fault) python::raise_internal_fault(fault);
    return result;
}

std::optional<ElementTypeRow> parse_element_type(PyObject* value) {
    if (!PyUnicode_Check(value)) {
        python::raise_not_instance("element_type", value, "str");
        return std::nullopt;
    }
    const char* name = PyUnicode_AsUTF8(value);
    if (name == nullptr) return std::nullopt;
    const auto row = v2::element_row(std::string_view(name));
    if (!row) PyErr_Format(PyExc_TypeError, "version-2 streams do not store %R samples", value);
    return row;
}

// A number argument as a float; nothing with TypeError set when it is not one.
std::optional<double> parse_number(const char* name, PyObject* value) {
    if (PyBool_Check(value) || !(PyFloat_Check(value) || PyLong_Check(value))) {
        python::raise_not_instance(name, value, "float");
        return std::nullopt;
    }
    const double number = PyFloat_AsDouble(value);
    if (number == -1.0 && PyErr_Occurred()) return std::nullopt;
    return number;
}

bool given(PyObject* value) {
    return value != nullptr && value != Py_None;
}

// A writable C-contiguous view held for the length of a call.
class WritableBuffer {
  public:
    WritableBuffer() = default;
    WritableBuffer(const WritableBuffer&) = delete;
    WritableBuffer& operator=(const WritableBuffer&) = delete;
    ~WritableBuffer() {
        if (held_) PyBuffer_Release(&view_);
    }
    bool acquire(PyObject* object) {
        held_ = PyObject_GetBuffer(object, &view_, PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS) == 0;
        return held_;
    }
    std::span<uint8_t> bytes() const {
        return {static_cast<uint8_t*>(view_.buf), static_cast<std::size_t>(view_.len)};
    }

  private:
    Py_buffer view_{};
    bool held_ = false;
};

std::string_view method_name(uint8_t byte) {
    for (const auto& row : v2::kMethods) {
        if (row.byte == byte) return row.name;
    }
    return {};
}

std::string_view coder_name(uint8_t byte) {
    for (const auto& row : v2::kCoders) {
        if (row.byte == byte) return row.name;
    }
    return {};
}

}  // namespace

PyObject* encode_v2(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, kEncodeParameters.size()> bound{};
        if (!bind_fastcall(kEncodeSignature, args, nargs, kwnames, bound)) return nullptr;
        const auto row = parse_element_type(bound[1]);
        if (!row) return nullptr;
        std::size_t targets = 0;
        std::size_t chosen = 0;
        for (const std::size_t position : kTargetPositions) {
            if (!given(bound[position])) continue;
            ++targets;
            chosen = position;
        }
        if (targets != 1) {
            PyErr_SetString(PyExc_ValueError,
                            "give one target: max_error, psnr or bits_per_sample");
            return nullptr;
        }
        const auto target = parse_number(kEncodeParameters[chosen], bound[chosen]);
        if (!target) return nullptr;
        const int relative = bound[3] == nullptr ? 1 : PyObject_IsTrue(bound[3]);
        if (relative < 0) return nullptr;
        HeldBuffer input;
        if (!input.acquire(bound[0])) return nullptr;
        const auto bytes = input.bytes();
        if (bytes.size() % row->size != 0) {
            PyErr_SetString(PyExc_ValueError, "the buffer does not hold whole samples");
            return nullptr;
        }
        const v2::SampleView samples{row->type, bytes.data(), bytes.size() / row->size};
        const auto result = unlocked<KestovaResult<v2::Encoded>>([&] {
            switch (chosen) {
                case 4:
                    return v2::encode_psnr(samples, *target);
                case 5:
                    return v2::encode_bits_per_sample(samples, *target);
                default:
                    return v2::encode(samples, {*target, relative != 0});
            }
        });
        if (!result) return nullptr;
        if (!*result) return python::raise_codec_error(result->error());
        const auto& stream = (*result)->stream;
        PyObject* out = PyBytes_FromStringAndSize(reinterpret_cast<const char*>(stream.data()),
                                                  static_cast<Py_ssize_t>(stream.size()));
        if (out == nullptr) return nullptr;
        return Py_BuildValue("(Nd)", out, (*result)->max_error);
    });
}

PyObject* read_v2_header(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, kHeaderParameters.size()> bound{};
        if (!bind_fastcall(kHeaderSignature, args, nargs, kwnames, bound)) return nullptr;
        HeldBuffer input;
        if (!input.acquire(bound[0])) return nullptr;
        const auto info = unlocked<KestovaResult<v2::StreamInfo>>(
            [&] { return v2::read_stream_info(input.bytes()); });
        if (!info) return nullptr;
        if (!*info) return python::raise_codec_error(info->error());
        const v2::StreamInfo& i = **info;
        const std::string method(method_name(i.method));
        const std::string coder(coder_name(i.coder));
        const std::string element(i.element.name);
        return Py_BuildValue(
            "{sisssssssKsdsdsnsnss}", "version", int{v2::kVersion}, "method", method.c_str(),
            "coder", coder.c_str(), "element_type", element.c_str(), "samples",
            static_cast<unsigned long long>(i.sample_count), "origin", i.grid.origin, "step",
            i.grid.step, "payload_bytes", static_cast<Py_ssize_t>(i.payload.size()), "stream_bytes",
            static_cast<Py_ssize_t>(i.stream_length), "checksum", "ok");
    });
}

PyObject* v2_stream_length(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, kHeaderParameters.size()> bound{};
        if (!bind_fastcall(kLengthSignature, args, nargs, kwnames, bound)) return nullptr;
        HeldBuffer input;
        if (!input.acquire(bound[0])) return nullptr;
        const auto length = v2::stated_stream_length(input.bytes());
        if (!length) return python::raise_codec_error(length.error());
        return PyLong_FromSize_t(*length);
    });
}

PyObject* decode_v2_into(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, kDecodeParameters.size()> bound{};
        if (!bind_fastcall(kDecodeSignature, args, nargs, kwnames, bound)) return nullptr;
        HeldBuffer input;
        if (!input.acquire(bound[0])) return nullptr;
        WritableBuffer out;
        if (!out.acquire(bound[1])) return nullptr;
        const auto result = unlocked<KestovaResult<void>>([&]() -> KestovaResult<void> {
            const auto info = v2::read_stream_info(input.bytes());
            if (!info) return std::unexpected(info.error());
            return v2::decode_into(*info, out.bytes());
        });
        if (!result) return nullptr;
        if (!*result) return python::raise_codec_error(result->error());
        Py_RETURN_NONE;
    });
}

}  // namespace kestova::codecs
