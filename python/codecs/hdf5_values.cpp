#include "python/codecs/hdf5_values.h"

#include "python/codecs/chunk_settings_option.h"
#include "python/codecs/encoder_option.h"

#include <string>
#include <vector>

#include "codec/method_table.h"
#include "codec/option_names.h"
#include "hdf5_filter/filter_values.h"
#include "python/common/errors.h"
#include "python/common/option_parsing.h"
#include "python/common/py_ref.h"

namespace kestova::codecs {

namespace {

using hdf5::BoundKind;
using python::PyRef;

PyObject* new_ref(PyObject* object) {
    Py_INCREF(object);
    return object;
}

const char* method_name(CompressionMethod method) {
    for (const MethodEntry& entry : kMethods) {
        if (entry.method == method) return entry.name.data();
    }
    return "";
}

PyObject* tuple_of(std::span<const unsigned> values) {
    PyRef tuple(PyTuple_New(static_cast<Py_ssize_t>(values.size())));
    if (!tuple) return nullptr;
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyObject* item = PyLong_FromUnsignedLong(values[i]);
        if (item == nullptr) return nullptr;
        PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), item);
    }
    return tuple.release();
}

}  // namespace

PyObject* hdf5_filter_values(PyObject*, PyObject* args) {
    return python::guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        PyObject *method, *scale, *cutoff, *coder, *encoder_name, *max_error;
        int relative;
        int format = 1;
        double psnr = 0.0;
        double bits_per_sample = 0.0;
        if (!PyArg_ParseTuple(args, "OOOOOOp|idd:hdf5_filter_values", &method, &scale, &cutoff,
                              &coder, &encoder_name, &max_error, &relative, &format, &psnr,
                              &bits_per_sample)) {
            return nullptr;
        }
        auto settings = parse_chunk_settings(method, scale, cutoff, coder, encoder_name, max_error,
                                             relative != 0);
        if (!settings) return nullptr;
        if (format != 1 && format != 2) {
            PyErr_Format(PyExc_ValueError, "format must be 1 or 2, not %d", format);
            return nullptr;
        }
        settings->format = static_cast<uint8_t>(format);
        settings->psnr = psnr;
        settings->bits_per_sample = bits_per_sample;
        const auto values = hdf5::settings_values(*settings);
        // The checks the plugin makes on reading them, so a bad combination fails here.
        if (const auto checked = hdf5::parse_settings(values); !checked) {
            PyErr_SetString(PyExc_ValueError, checked.error().c_str());
            return nullptr;
        }
        return tuple_of(values);
    });
}

PyObject* hdf5_filter_settings(PyObject*, PyObject* values) {
    return python::guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        PyRef sequence(PySequence_Fast(values, "expected a sequence of filter values"));
        if (!sequence) return nullptr;
        std::vector<unsigned> numbers;
        for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(sequence.get()); ++i) {
            const unsigned long number =
                PyLong_AsUnsignedLong(PySequence_Fast_GET_ITEM(sequence.get(), i));
            if (number == static_cast<unsigned long>(-1) && PyErr_Occurred()) return nullptr;
            numbers.push_back(static_cast<unsigned>(number));
        }
        const bool complete = numbers.size() == hdf5::kValueCount;
        std::optional<hdf5::FilterValues> parsed;
        if (complete) {
            auto all = hdf5::parse_values(numbers);
            if (!all) {
                PyErr_SetString(PyExc_ValueError, all.error().c_str());
                return nullptr;
            }
            parsed = *all;
        } else {
            auto settings = hdf5::parse_settings(numbers);
            if (!settings) {
                PyErr_SetString(PyExc_ValueError, settings.error().c_str());
                return nullptr;
            }
            parsed = hdf5::FilterValues{*settings};
        }
        const hdf5::FilterSettings& s = parsed->settings;
        const bool bounded = s.bound != BoundKind::None;
        const CompressionOptions& o = s.options;
        PyRef coder(o.coder == EntropyCoder::Auto
                        ? new_ref(Py_None)
                        : PyUnicode_FromString(name_of(o.coder, kCoderNames)->data()));
        PyRef max_error(bounded ? PyFloat_FromDouble(s.max_error) : new_ref(Py_None));
        if (!coder || !max_error) return nullptr;
        PyRef dict(Py_BuildValue(
            "{s:s,s:i,s:s,s:O,s:s#,s:O,s:O}", "method",
            s.choose_method ? nullptr : method_name(o.method), "scale", static_cast<int>(o.scale),
            "cutoff", name_of(o.cutoff, kCutoffNames)->data(), "coder", coder.get(), "encoder",
            encoder_name(s.encoder).data(), static_cast<Py_ssize_t>(encoder_name(s.encoder).size()),
            "max_error", max_error.get(), "relative",
            s.bound == BoundKind::Absolute ? Py_False : Py_True));
        if (!dict) return nullptr;
        PyRef psnr(s.psnr != 0 ? PyFloat_FromDouble(s.psnr) : new_ref(Py_None));
        PyRef rate(s.bits_per_sample != 0 ? PyFloat_FromDouble(s.bits_per_sample)
                                          : new_ref(Py_None));
        PyRef format(PyLong_FromLong(s.format));
        if (!psnr || !rate || !format ||
            PyDict_SetItemString(dict.get(), "format", format.get()) < 0 ||
            PyDict_SetItemString(dict.get(), "psnr", psnr.get()) < 0 ||
            PyDict_SetItemString(dict.get(), "bits_per_sample", rate.get()) < 0) {
            return nullptr;
        }
        if (!complete) return dict.release();
        const auto name = element_name(parsed->element_type);
        PyRef dtype(PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size())));
        PyRef chunk(PyLong_FromUnsignedLongLong(parsed->chunk_elements));
        if (!dtype || !chunk || PyDict_SetItemString(dict.get(), "dtype", dtype.get()) < 0 ||
            PyDict_SetItemString(dict.get(), "chunk_elements", chunk.get()) < 0) {
            return nullptr;
        }
        return dict.release();
    });
}

int add_hdf5_constants(PyObject* module) {
    if (PyModule_AddIntConstant(module, "HDF5_FILTER_ID", hdf5::kFilterId) < 0) return -1;
    return PyModule_AddStringConstant(module, "HDF5_FILTER_NAME", hdf5::kFilterName);
}

}  // namespace kestova::codecs
