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
#include "codec/tuned/tuned_compressor.h"
#include "python/codecs/bounded.h"
#include "python/codecs/chunk_calls.h"
#include "python/codecs/decoded_samples.h"
#include "python/codecs/encoder_option.h"
#include "python/codecs/float_samples.h"
#include "python/codecs/hdf5_values.h"
#include "python/codecs/header_reader.h"
#include "python/codecs/held_buffer.h"
#include "python/codecs/tables.h"
#include "python/codecs/v2_stream.h"
#include "python/common/arguments.h"
#include "python/common/errors.h"
#include "python/common/multi_phase_module.h"
#include "python/common/option_parsing.h"

namespace kestova::codecs {

namespace {

using python::bind_fastcall;
using python::guarded;
using python::Signature;

constexpr std::array<const char*, 6> kCompressParameters{"data",   "method", "scale",
                                                         "cutoff", "coder",  "encoder"};
constexpr Signature kCompressSignature{"compress", kCompressParameters, 1};
constexpr std::array<const char*, 1> kDecompressParameters{"data"};
constexpr Signature kDecompressSignature{"decompress", kDecompressParameters, 1};

PyObject* compress_buffer(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, kCompressParameters.size()> bound{};
        if (!bind_fastcall(kCompressSignature, args, nargs, kwnames, bound)) return nullptr;
        const auto options = python::parse_options(bound[1], bound[2], bound[3], bound[4]);
        if (!options) return nullptr;
        const auto encoder = parse_encoder(bound[5]);
        if (!encoder) return nullptr;
        HeldBuffer input;
        if (!input.acquire(bound[0])) return nullptr;
        const auto samples = as_samples(input.bytes());
        if (!samples) return nullptr;

        const auto outcome =
            compress_unlocked<std::vector<uint8_t>>(*samples, [&](std::span<const float> x) {
                return *encoder == Encoder::Tuned ? compress_tuned(x, *options)
                                                  : compress(x, *options);
            });
        if (raise_unfinished(outcome)) return nullptr;
        const auto& result = *outcome.result;
        if (!result) return python::raise_codec_error(result.error());
        return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(result->data()),
                                         static_cast<Py_ssize_t>(result->size()));
    });
}

PyObject* decompress_buffer(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, kDecompressParameters.size()> bound{};
        if (!bind_fastcall(kDecompressSignature, args, nargs, kwnames, bound)) return nullptr;
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
     "compress(data, method=\"cdf97\", scale=11, cutoff=\"low\", coder=None, encoder=None)\n--\n\n"
     "Compress the native float32 samples in the contiguous buffer `data` into one Kestova\n"
     "container: with encoder None or \"reference\" the bytes kestova.compress_signal gives,\n"
     "with \"tuned\" the tuned encoder's. Refuses NaN and infinities."},
    {"compress_bounded",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(compress_bounded_buffer)),
     METH_FASTCALL | METH_KEYWORDS,
     "compress_bounded(data, max_error, method=None, coder=None)\n--\n\n"
     "The tuned encoder's container for the float32 samples in `data` whose decoded samples\n"
     "differ from them by at most the absolute `max_error` on every processor path, the method\n"
     "chosen when None. Returns (container or None when the finest scale cannot meet the bound,\n"
     "max error reached, method, scale). Refuses NaN and infinities."},
    {"encode_chunk",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(encode_chunk_buffer)),
     METH_FASTCALL | METH_KEYWORDS,
     "encode_chunk(data, dtype, method, scale, cutoff, coder, encoder, max_error, relative,\n"
     "             omit_trailing_nan, format=1, psnr=None, bits_per_sample=None)\n--\n\n"
     "One Kestova container of the chunk whose elements of `dtype` (a NumPy name) are the native\n"
     "bytes of `data`, by the rules every surface shares: integers judged as they decode\n"
     "(rounded and clipped), float64 against its own values, a bound kept on every processor\n"
     "path. With omit_trailing_nan a float chunk's trailing NaN run is left out. format=2\n"
     "writes a version-2 stream within max_error, reaching psnr dB or of at most\n"
     "bits_per_sample bits per element (integer chunks: exact without a target). ValueError\n"
     "with the refusal's message."},
    {"check_settings", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(check_settings)),
     METH_FASTCALL | METH_KEYWORDS,
     "check_settings(method, coder, scale, cutoff, encoder, max_error, relative)\n--\n\n"
     "None when the chunk layer accepts these settings (each already of its type); ValueError\n"
     "with its reason otherwise."},
    {"decode_chunk",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(decode_chunk_buffer)),
     METH_FASTCALL | METH_KEYWORDS,
     "decode_chunk(data, dtype, elements, fill)\n--\n\n"
     "The elements of `dtype` the container in `data` decodes to, as a DecodedSamples object\n"
     "for numpy.frombuffer. `fill`: \"exact\" (exactly `elements`), \"trailing_nan\" (float\n"
     "chunks may hold fewer, the rest NaN) or \"at_most\" (up to `elements`). The header is\n"
     "checked against the chunk before anything is decoded."},
    {"decompress", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(decompress_buffer)),
     METH_FASTCALL | METH_KEYWORDS,
     "decompress(data)\n--\n\n"
     "Decompress the Kestova container in the contiguous buffer `data`; the samples come back\n"
     "as a DecodedSamples object for numpy.frombuffer(..., numpy.float32)."},
    {"hdf5_filter_values", hdf5_filter_values, METH_VARARGS,
     "hdf5_filter_values(method, scale, cutoff, coder, encoder, max_error, relative, format=1,\n"
     "                   psnr=0.0, bits_per_sample=0.0, /)\n--\n\n"
     "The HDF5 filter's values recording these settings (checked as the codecs check them);\n"
     "format 2 records layout version 2, with psnr (dB) or bits_per_sample (0: none) as its\n"
     "target."},
    {"hdf5_filter_settings", hdf5_filter_settings, METH_O,
     "hdf5_filter_settings(values, /)\n--\n\n"
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
     "(as options take them), recorded_coders (as headers record them), encoders (how a\n"
     "container's coefficients are chosen), scales (min, max), defaults (method, scale, cutoff,\n"
     "coder, encoder), max_samples, header_size, smallest_range (the smallest value range the\n"
     "codec scales by; narrower ones are stored as flat) and element_types (the NumPy names of\n"
     "the types a chunk may hold), psnr_range (the dB a version-2 PSNR target may ask) and\n"
     "bits_per_sample_range (what a version-2 bits-per-sample target may ask)."},
    {"encode_v2", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(encode_v2)),
     METH_FASTCALL | METH_KEYWORDS,
     "encode_v2(data, element_type, max_error=None, relative=True, psnr=None,\n"
     "          bits_per_sample=None)\n--\n\n"
     "A version-2 stream of the samples in the contiguous buffer `data` (of the NumPy dtype\n"
     "named `element_type`) whose decoded samples are within `max_error` (times the range when\n"
     "`relative`; 0 asks for exact samples), or reach `psnr` dB, or whose length is at most\n"
     "`bits_per_sample` bits per sample (one target of the three).\n"
     "Returns (stream, max error reached)."},
    {"v2_stream_length",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(v2_stream_length)),
     METH_FASTCALL | METH_KEYWORDS,
     "v2_stream_length(data)\n--\n\n"
     "The length the version-2 stream at the start of `data` states (after checking its magic,\n"
     "version and that `data` holds that many bytes), for a stream followed by other data such\n"
     "as a .kst file's record; read_v2_header and decode_v2_into take exactly that slice."},
    {"read_v2_header", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(read_v2_header)),
     METH_FASTCALL | METH_KEYWORDS,
     "read_v2_header(data)\n--\n\n"
     "The fields of the version-2 stream in `data` as a dict (version, method, coder,\n"
     "element_type, samples, origin, step, payload_bytes, stream_bytes, checksum), after\n"
     "checking its checksum; ValueError for a stream the decoder refuses."},
    {"decode_v2_into", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(decode_v2_into)),
     METH_FASTCALL | METH_KEYWORDS,
     "decode_v2_into(data, out)\n--\n\n"
     "Decodes the version-2 stream in `data` into the writable contiguous buffer `out`, which\n"
     "holds exactly its samples (read_v2_header gives their count and type)."},
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
