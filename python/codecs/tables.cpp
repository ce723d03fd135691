#include "python/codecs/tables.h"

#include <string>

#include "codec/chunk/element_type.h"
#include "codec/container_limits.h"
#include "codec/header.h"
#include "codec/method_table.h"
#include "codec/normalize.h"
#include "python/common/errors.h"
#include "python/common/option_names.h"
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
    return python::name_of(coder, python::CODERS).value_or("?");
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
        PyRef cutoffs(names(python::CUTOFFS.size(), [](std::size_t i) {
            return std::string_view(python::CUTOFFS[i].text);
        }));
        PyRef coders(names(python::CODERS.size(),
                           [](std::size_t i) { return std::string_view(python::CODERS[i].text); }));
        PyRef recorded(names(kRecordedCoders.size(),
                             [](std::size_t i) { return coder_name(kRecordedCoders[i]); }));
        PyRef element_types(
            names(kElementTypes.size(), [](std::size_t i) { return kElementTypes[i].name; }));
        if (!methods || !cutoffs || !coders || !recorded || !element_types) return nullptr;
        const std::string method = std::string(method_name(defaults.method));
        const std::string cutoff(python::name_of(defaults.cutoff, python::CUTOFFS).value_or("?"));
        const std::string coder(coder_name(defaults.coder));
        return Py_BuildValue("{sOsOsOsOs(ii)s{sssissss}sksnsdsO}", "methods", methods.get(),
                             "cutoffs", cutoffs.get(), "coders", coders.get(), "recorded_coders",
                             recorded.get(), "scales", int{kMinScale}, int{kMaxScale}, "defaults",
                             "method", method.c_str(), "scale", int{defaults.scale}, "cutoff",
                             cutoff.c_str(), "coder", coder.c_str(), "max_samples",
                             static_cast<unsigned long>(kMaxSamples), "header_size",
                             static_cast<Py_ssize_t>(HEADER_SIZE), "smallest_range",
                             double{kSmallestNormalRange}, "element_types", element_types.get());
    });
}

}  // namespace kestova::codecs
