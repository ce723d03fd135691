#include "python/signal.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "codec/compressor.h"
#include "codec/decompressor.h"
#include "python/common/arguments.h"
#include "python/common/errors.h"
#include "python/common/py_ref.h"
#include "python/numpy_api.h"
#include "python/numpy_include.h"
#include "python/options.h"

namespace kestova::python {

namespace {

constexpr std::array<const char*, 2> kCompressParameters{"data", "options"};
constexpr Signature kCompressSignature{"compress_signal", kCompressParameters, 1};
constexpr std::array<const char*, 1> kDecompressParameters{"data"};
constexpr Signature kDecompressSignature{"decompress_signal", kDecompressParameters, 1};

constexpr const char* kCapsuleName = "kestova.samples";

// True when `object` is a one-dimensional NumPy array whose element type is equivalent to
// the native type `type_number` (so a byte-swapped float32 does not count).
bool is_vector_of(PyObject* object, int type_number) {
    if (!PyArray_Check(object)) return false;
    auto* array = reinterpret_cast<PyArrayObject*>(object);
    if (PyArray_NDIM(array) != 1) return false;
    const PyRef wanted(reinterpret_cast<PyObject*>(PyArray_DescrFromType(type_number)));
    if (!wanted) return false;
    return PyArray_EquivTypes(PyArray_DESCR(array),
                              reinterpret_cast<PyArray_Descr*>(wanted.get())) != 0;
}

// True when the codec can read the array's memory as one contiguous, aligned block.
bool is_plain_block(PyArrayObject* array) {
    const int flags = PyArray_FLAGS(array);
    return (flags & NPY_ARRAY_ALIGNED) != 0 &&
           (flags & (NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_F_CONTIGUOUS)) != 0 &&
           PyArray_DATA(array) != nullptr;
}

// Compresses `samples` and returns the container as bytes, or raises the codec's error.
PyObject* compress_to_bytes(std::span<const float> samples, CompressionOptions options) {
    const auto compressed = compress(samples, options);
    if (!compressed) return raise_codec_error(compressed.error());
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(compressed->data()),
                                     static_cast<Py_ssize_t>(compressed->size()));
}

// The record to compress with: the defaults for an absent or None argument, else the record of
// a KestovaCompressionOptions; nothing (TypeError set) for any other object.
std::optional<CompressionOptions> resolve_options(PyObject* object) {
    if (object == nullptr || object == Py_None) return CompressionOptions{};
    const auto options = read_options(object);
    if (!options) raise_not_instance("options", object, "KestovaCompressionOptions");
    return options;
}

// Compresses a 1-D float32 (read in place) or float64 (narrowed into a copy) array.
PyObject* compress_array(PyArrayObject* array, bool is_float32, CompressionOptions options) {
    const auto count = static_cast<std::size_t>(PyArray_DIM(array, 0));
    if (count == 0) return compress_to_bytes({}, options);
    if (!is_plain_block(array)) {
        PyErr_SetString(PyExc_TypeError, "The given array is not contiguous or is misaligned.");
        return nullptr;
    }
    if (is_float32) {
        return compress_to_bytes({static_cast<const float*>(PyArray_DATA(array)), count}, options);
    }
    // IEEE narrowing rounds to nearest even; beyond the float range it gives infinities.
    const std::span<const double> wide(static_cast<const double*>(PyArray_DATA(array)), count);
    std::vector<float> narrow(count);
    for (std::size_t i = 0; i < count; ++i) narrow[i] = static_cast<float>(wide[i]);
    return compress_to_bytes(narrow, options);
}

PyObject* compress_signal(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, kCompressParameters.size()> bound{};
        if (!bind_fastcall(kCompressSignature, args, nargs, kwnames, bound)) return nullptr;
        const auto options = resolve_options(bound[1]);
        if (!options) return nullptr;

        PyObject* const data = bound[0];
        if (!ensure_numpy_api()) return nullptr;
        const bool is_float32 = is_vector_of(data, NPY_FLOAT32);
        if (PyErr_Occurred()) return nullptr;
        if (!is_float32 && !is_vector_of(data, NPY_FLOAT64)) {
            if (PyErr_Occurred()) return nullptr;
            PyErr_SetString(PyExc_ValueError, "expected a 1-D float32 or float64 NumPy array");
            return nullptr;
        }
        return compress_array(reinterpret_cast<PyArrayObject*>(data), is_float32, *options);
    });
}

void free_samples(PyObject* capsule) {
    delete static_cast<std::vector<float>*>(PyCapsule_GetPointer(capsule, kCapsuleName));
}

// A writable 1-D float32 array over the decoded buffer itself; a capsule that owns the buffer
// is the array's base, so the buffer is freed once, when the last view of it goes.
PyObject* wrap_samples(std::vector<float>&& samples) {
    npy_intp length = static_cast<npy_intp>(samples.size());
    if (samples.empty()) return PyArray_SimpleNew(1, &length, NPY_FLOAT32);
    auto* owned = new std::vector<float>(std::move(samples));
    float* data = owned->data();
    PyObject* capsule = PyCapsule_New(owned, kCapsuleName, free_samples);
    if (capsule == nullptr) {
        delete owned;
        return nullptr;
    }
    PyRef owner(capsule);
    PyRef array(PyArray_SimpleNewFromData(1, &length, NPY_FLOAT32, data));
    if (!array) return nullptr;
    // Takes the owner's reference even when it fails.
    if (PyArray_SetBaseObject(reinterpret_cast<PyArrayObject*>(array.get()), owner.release()) < 0) {
        return nullptr;
    }
    return array.release();
}

PyObject* decompress_signal(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, kDecompressParameters.size()> bound{};
        if (!bind_fastcall(kDecompressSignature, args, nargs, kwnames, bound)) return nullptr;
        PyObject* const data = bound[0];
        if (!PyBytes_Check(data)) {
            raise_not_instance("data", data, "bytes");
            return nullptr;
        }
        const std::span<const uint8_t> stream(
            reinterpret_cast<const uint8_t*>(PyBytes_AS_STRING(data)),
            static_cast<std::size_t>(PyBytes_GET_SIZE(data)));
        auto samples = decompress(stream);
        if (!samples) return raise_codec_error(samples.error());
        if (!ensure_numpy_api()) return nullptr;
        return wrap_samples(std::move(*samples));
    });
}

PyMethodDef compress_def{
    "compress_signal",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(compress_signal)),
    METH_FASTCALL | METH_KEYWORDS,
    "compress_signal(data, options=None)\n--\n\n"
    "Compress a 1-D float32 **or** float64 NumPy array into Kestova `bytes`.\n\n"
    "float64 input is downcast to float32 before compression (the codec works in\n"
    "f32 internally and always reconstructs f32 on decompress).",
};

PyMethodDef decompress_def{
    "decompress_signal",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(decompress_signal)),
    METH_FASTCALL | METH_KEYWORDS,
    "decompress_signal(data)\n--\n\n"
    "Decompress a Kestova bytes object into a 1-D float32 NumPy array.",
};

}  // namespace

PyMethodDef* compress_signal_def() {
    return &compress_def;
}

PyMethodDef* decompress_signal_def() {
    return &decompress_def;
}

}  // namespace kestova::python
