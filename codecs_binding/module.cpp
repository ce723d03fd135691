// kestova_codecs._binding: the Kestova codec for the array-store codecs. Same containers as the
// kestova module, but any contiguous buffer is read in place and the interpreter lock is released
// while the codec runs, so chunks compress in parallel threads.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "codec/compressor.h"
#include "codec/decompressor.h"
#include "codecs_binding/decoded_samples.h"
#include "codecs_binding/hdf5_values.h"
#include "codecs_binding/header_reader.h"
#include "codecs_binding/held_buffer.h"
#include "codecs_binding/non_finite.h"
#include "codecs_binding/tables.h"
#include "python/arguments.h"
#include "python/errors.h"
#include "python/multi_phase_module.h"
#include "python/option_parsing.h"

namespace kestova::codecs {

namespace {

using python::bind_fastcall;
using python::guarded;
using python::Signature;

constexpr std::array<const char*, 5> COMPRESS_PARAMETERS{"data", "method", "scale", "cutoff",
                                                         "coder"};
constexpr Signature COMPRESS_SIGNATURE{"compress", COMPRESS_PARAMETERS, 1};
constexpr std::array<const char*, 1> DECOMPRESS_PARAMETERS{"data"};
constexpr Signature DECOMPRESS_SIGNATURE{"decompress", DECOMPRESS_PARAMETERS, 1};

// The float32 samples that `bytes` holds; nothing (ValueError set) when its length or
// alignment does not fit whole floats.
std::optional<std::span<const float>> as_samples(std::span<const uint8_t> bytes) {
    const auto address = reinterpret_cast<std::uintptr_t>(bytes.data());
    if (bytes.size() % sizeof(float) != 0 || address % alignof(float) != 0) {
        PyErr_SetString(PyExc_ValueError,
                        "expected float32 samples: an aligned buffer of whole 4-byte values");
        return std::nullopt;
    }
    return std::span<const float>(reinterpret_cast<const float*>(bytes.data()),
                                  bytes.size() / sizeof(float));
}

// What a compression without the interpreter lock ends in; turned into Python objects after.
struct CompressOutcome {
    NonFinite non_finite;
    std::optional<KestovaResult<std::vector<uint8_t>>> result;
    std::exception_ptr fault;
};

CompressOutcome compress_unlocked(std::span<const float> samples, CompressionOptions options) {
    CompressOutcome outcome;
    Py_BEGIN_ALLOW_THREADS try {
        outcome.non_finite = find_non_finite(samples);
        if (outcome.non_finite.count == 0) outcome.result.emplace(compress(samples, options));
    } catch (...) {
        outcome.fault = std::current_exception();
    }
    Py_END_ALLOW_THREADS return outcome;
}

PyObject* compress_buffer(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, COMPRESS_PARAMETERS.size()> bound{};
        if (!bind_fastcall(COMPRESS_SIGNATURE, args, nargs, kwnames, bound)) return nullptr;
        const auto options = python::parse_options(bound[1], bound[2], bound[3], bound[4]);
        if (!options) return nullptr;
        HeldBuffer input;
        if (!input.acquire(bound[0])) return nullptr;
        const auto samples = as_samples(input.bytes());
        if (!samples) return nullptr;

        const CompressOutcome outcome = compress_unlocked(*samples, *options);
        if (outcome.fault) {
            python::raise_internal_fault(outcome.fault);
            return nullptr;
        }
        if (outcome.non_finite.count > 0) {
            PyErr_Format(PyExc_ValueError,
                         "refusing to compress %zu non-finite value(s) (NaN or infinity), the "
                         "first at index %zu: Kestova would store them as finite numbers",
                         outcome.non_finite.count, outcome.non_finite.first);
            return nullptr;
        }
        const auto& result = *outcome.result;
        if (!result) return python::raise_codec_error(result.error());
        return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(result->data()),
                                         static_cast<Py_ssize_t>(result->size()));
    });
}

PyObject* decompress_buffer(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, DECOMPRESS_PARAMETERS.size()> bound{};
        if (!bind_fastcall(DECOMPRESS_SIGNATURE, args, nargs, kwnames, bound)) return nullptr;
        HeldBuffer input;
        if (!input.acquire(bound[0])) return nullptr;

        std::optional<KestovaResult<std::vector<float>>> result;
        std::exception_ptr fault;
        Py_BEGIN_ALLOW_THREADS try { result.emplace(decompress(input.bytes())); } catch (...) {
            fault = std::current_exception();
        }
        Py_END_ALLOW_THREADS if (fault) {
            python::raise_internal_fault(fault);
            return nullptr;
        }
        if (!*result) return python::raise_codec_error(result->error());
        return wrap_decoded(std::move(**result));
    });
}

PyMethodDef module_methods[] = {
    {"compress", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(compress_buffer)),
     METH_FASTCALL | METH_KEYWORDS,
     "compress(data, method=\"cdf97\", scale=11, cutoff=\"low\", coder=None)\n--\n\n"
     "Compress the native float32 samples in the contiguous buffer `data` into one Kestova\n"
     "container (the bytes kestova.compress_signal gives). Refuses NaN and infinities."},
    {"decompress", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(decompress_buffer)),
     METH_FASTCALL | METH_KEYWORDS,
     "decompress(data)\n--\n\n"
     "Decompress the Kestova container in the contiguous buffer `data`; the samples come back\n"
     "as a DecodedSamples object for numpy.frombuffer(..., numpy.float32)."},
    {"hdf5_filter_values", hdf5_filter_values, METH_VARARGS,
     "hdf5_filter_values(method, scale, cutoff, coder, encoder, max_error, relative)\n--\n\n"
     "The HDF5 filter's values recording these settings (checked as the codecs check them)."},
    {"hdf5_filter_settings", hdf5_filter_settings, METH_O,
     "hdf5_filter_settings(values)\n--\n\n"
     "The settings that HDF5 filter values record, with dtype and chunk_elements when the\n"
     "values are a dataset's complete ones; ValueError for values this version cannot read."},
    {"read_header", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(read_header)),
     METH_FASTCALL | METH_KEYWORDS,
     "read_header(data)\n--\n\n"
     "The fields of the Kestova header at the start of the buffer `data`, as a dict: version,\n"
     "method, levels, scale, coder, samples, minimum, maximum, mean, payload_bytes and\n"
     "container_bytes (header and payload). Decodes nothing; raises ValueError with the\n"
     "decoder's message for a header the decoder refuses. Bytes past the header are not read."},
    {"tables", codec_tables, METH_NOARGS,
     "tables()\n--\n\n"
     "The codec's names, ranges and defaults: methods (the default first), cutoffs, coders\n"
     "(as options take them), recorded_coders (as headers record them), scales (min, max),\n"
     "defaults (method, scale, cutoff, coder), max_samples, header_size and smallest_range\n"
     "(the smallest value range the codec scales by; narrower ones are stored as flat)."},
    {nullptr, nullptr, 0, nullptr},
};

int exec_module(PyObject* module) {
    PyTypeObject* type = decoded_samples_type();
    if (type == nullptr || PyModule_AddType(module, type) < 0) return -1;
    return add_hdf5_constants(module);
}

python::MultiPhaseModule module_definition(
    "kestova_codecs._binding", "The Kestova codec for buffers, run without the interpreter lock.",
    module_methods, exec_module);

}  // namespace

}  // namespace kestova::codecs

PyMODINIT_FUNC PyInit__binding() {
    return kestova::codecs::module_definition.init();
}
