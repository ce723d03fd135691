#include "python/codecs/tables.h"

#include <string>

#include "codec/container_limits.h"
#include "codec/element_type.h"
#include "codec/encoder.h"
#include "codec/header.h"
#include "codec/method_table.h"
#include "codec/normalize.h"
#include "codec/option_names.h"
#include "codec/v2/quantizer.h"
#include "codec/v2/rate_target.h"
#include "python/common/errors.h"
#include "python/common/py_ref.h"

namespace kestova::codecs {

namespace {

using python::PyRef;

PyObject* text(std::string_view name) {
    return PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
}

// A tuple of the names `name_at(i)` gives for i < count; nullptr with an exception set.
template <typename NameAt>
PyObject* names(std::size_t count, NameAt name_at) {
    PyRef tuple(PyTuple_New(static_cast<Py_ssize_t>(count)));
    if (!tuple) return nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        PyObject* item = text(name_at(i));
        if (item == nullptr) return nullptr;
        PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), item);
    }
    return tuple.release();
}

std::string_view coder_name(EntropyCoder coder) {
    return name_of(coder, kCoderNames).value_or("?");
}

}  // namespace

std::string_view method_name(CompressionMethod method) {
    for (const MethodEntry& entry : kMethods) {
        if (entry.method == method) return entry.name;
    }
    return "?";
}

PyObject* codec_tables(PyObject*, PyObject*) {
    return python::guarded<PyObject*>(nullptr, []() -> PyObject* {
        constexpr CompressionOptions defaults{};
        PyRef methods(names(kMethods.size(), [](std::size_t i) { return kMethods[i].name; }));
        PyRef cutoffs(names(kCutoffNames.size(),
                            [](std::size_t i) { return std::string_view(kCutoffNames[i].text); }));
        PyRef coders(names(kCoderNames.size(),
                           [](std::size_t i) { return std::string_view(kCoderNames[i].text); }));
        PyRef recorded(names(kRecordedCoders.size(),
                             [](std::size_t i) { return coder_name(kRecordedCoders[i]); }));
        PyRef element_types(names(kChunkElementTypes.size(),
                                  [](std::size_t i) { return kChunkElementTypes[i].name; }));
        PyRef encoders(names(kEncoders.size(), [](std::size_t i) { return kEncoders[i].name; }));
        if (!methods || !cutoffs || !coders || !recorded || !element_types || !encoders) {
            return nullptr;
        }
        const std::string method = std::string(method_name(defaults.method));
        const std::string cutoff(name_of(defaults.cutoff, kCutoffNames).value_or("?"));
        const std::string coder(coder_name(defaults.coder));
        const std::string encoder(encoder_name(kDefaultEncoder));
        return Py_BuildValue(
            "{sOsOsOsOsOs(ii)s{sssissssss}sksnsdsOs(dd)s(dd)}", "methods", methods.get(), "cutoffs",
            cutoffs.get(), "coders", coders.get(), "recorded_coders", recorded.get(), "encoders",
            encoders.get(), "scales", int{kMinScale}, int{kMaxScale}, "defaults", "method",
            method.c_str(), "scale", int{defaults.scale}, "cutoff", cutoff.c_str(), "coder",
            coder.c_str(), "encoder", encoder.c_str(), "max_samples",
            static_cast<unsigned long>(kMaxSamples), "header_size",
            static_cast<Py_ssize_t>(HEADER_SIZE), "smallest_range", double{kSmallestNormalRange},
            "element_types", element_types.get(), "psnr_range", v2::kPsnrRange.first,
            v2::kPsnrRange.second, "bits_per_sample_range", v2::kBitsPerSampleRange.first,
            v2::kBitsPerSampleRange.second);
    });
}

}  // namespace kestova::codecs
