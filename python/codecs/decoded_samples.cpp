#include "python/codecs/decoded_samples.h"

#include <new>
#include <utility>

namespace kestova::codecs {

namespace {

struct DecodedSamplesObject {
    PyObject_HEAD DecodedChunk chunk;
};

void decoded_dealloc(PyObject* self) {
    reinterpret_cast<DecodedSamplesObject*>(self)->chunk.~DecodedChunk();
    Py_TYPE(self)->tp_free(self);
}

// Lends the samples as writable bytes; the view keeps this object, and so the buffer, alive.
int decoded_getbuffer(PyObject* self, Py_buffer* view, int flags) {
    const auto bytes = reinterpret_cast<DecodedSamplesObject*>(self)->chunk.bytes();
    return PyBuffer_FillInfo(view, self, const_cast<uint8_t*>(bytes.data()),
                             static_cast<Py_ssize_t>(bytes.size()), 0, flags);
}

PyBufferProcs decoded_buffer_procs = {
    .bf_getbuffer = decoded_getbuffer,
    .bf_releasebuffer = nullptr,
};

// A type object has dozens of optional slots; the designated initialiser names only those used.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
PyTypeObject decoded_type_object = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name = "kestova_codecs._binding.DecodedSamples",
    .tp_basicsize = sizeof(DecodedSamplesObject),
    .tp_dealloc = decoded_dealloc,
    .tp_as_buffer = &decoded_buffer_procs,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = "Decoded samples or chunk elements, lent through the buffer protocol.",
};
#pragma GCC diagnostic pop

}  // namespace

PyTypeObject* decoded_samples_type() {
    if (PyType_Ready(&decoded_type_object) < 0) return nullptr;
    return &decoded_type_object;
}

PyObject* wrap_decoded_chunk(DecodedChunk&& chunk) {
    PyTypeObject* type = decoded_samples_type();
    if (type == nullptr) return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    new (&reinterpret_cast<DecodedSamplesObject*>(self)->chunk) DecodedChunk(std::move(chunk));
    return self;
}

PyObject* wrap_decoded(std::vector<float>&& samples) {
    return wrap_decoded_chunk(DecodedChunk{.samples = std::move(samples), .elements = {}});
}

}  // namespace kestova::codecs
