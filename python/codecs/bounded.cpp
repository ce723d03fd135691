#include "python/codecs/bounded.h"

#include <array>
#include <cmath>
#include <optional>
#include <string>

#include "codec/method_table.h"
#include "codec/tuned/tuned_compressor.h"
#include "python/codecs/float_samples.h"
#include "python/codecs/held_buffer.h"
#include "python/common/arguments.h"
#include "python/common/errors.h"
#include "python/common/option_parsing.h"

namespace kestova::codecs {

namespace {

constexpr std::array<const char*, 4> kParameters{"data", "max_error", "method", "coder"};
constexpr python::Signature kSignature{"compress_bounded", kParameters, 2};

// The bound as a float; nothing with TypeError or ValueError set unless a finite number >= 0.
std::optional<double> parse_bound(PyObject* value) {
    if (PyBool_Check(value) || !(PyFloat_Check(value) || PyLong_Check(value))) {
        python::raise_not_instance("max_error", value, "float");
        return std::nullopt;
    }
    const double bound = PyFloat_AsDouble(value);
    if (bound == -1.0 && PyErr_Occurred()) return std::nullopt;
    if (!(std::isfinite(bound) && bound >= 0.0)) {
        PyErr_Format(PyExc_ValueError, "max_error must be a finite number >= 0, but it was %R",
                     value);
        return std::nullopt;
    }
    return bound;
}

std::string method_name(CompressionMethod method) {
    for (const MethodEntry& entry : kMethods) {
        if (entry.method == method) return std::string(entry.name);
    }
    return {};
}

}  // namespace

PyObject* compress_bounded_buffer(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
    return python::guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, kParameters.size()> bound{};
        if (!python::bind_fastcall(kSignature, args, nargs, kwnames, bound)) return nullptr;
        const auto max_error = parse_bound(bound[1]);
        if (!max_error) return nullptr;
        const bool open_method = bound[2] == nullptr || bound[2] == Py_None;
        const auto options =
            python::parse_options(open_method ? nullptr : bound[2], nullptr, nullptr, bound[3]);
        if (!options) return nullptr;
        const std::optional<CompressionMethod> method =
            open_method ? std::nullopt : std::optional(options->method);
        HeldBuffer input;
        if (!input.acquire(bound[0])) return nullptr;
        const auto samples = as_samples(input.bytes());
        if (!samples) return nullptr;

        const auto outcome =
            compress_unlocked<BoundedEncoding>(*samples, [&](std::span<const float> x) {
                return encode_within(x, {*max_error, false}, method, options->coder);
            });
        if (raise_unfinished(outcome)) return nullptr;
        const auto& result = *outcome.result;
        if (!result) return python::raise_codec_error(result.error());
        PyObject* container =
            result->container.empty()
                ? (Py_INCREF(Py_None), Py_None)
                : PyBytes_FromStringAndSize(reinterpret_cast<const char*>(result->container.data()),
                                            static_cast<Py_ssize_t>(result->container.size()));
        if (container == nullptr) return nullptr;
        return Py_BuildValue("(Ndsi)", container, result->max_error,
                             method_name(result->method).c_str(), int{result->scale});
    });
}

}  // namespace kestova::codecs
