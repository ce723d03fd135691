#include "python/codecs/held_buffer.h"

namespace kestova::codecs {

HeldBuffer::~HeldBuffer() {
    if (held_) PyBuffer_Release(&view_);
}

bool HeldBuffer::acquire(PyObject* object) {
    if (PyObject_GetBuffer(object, &view_, PyBUF_C_CONTIGUOUS) < 0) return false;
    held_ = true;
    return true;
}

std::span<const uint8_t> HeldBuffer::bytes() const {
    return {static_cast<const uint8_t*>(view_.buf), static_cast<std::size_t>(view_.len)};
}

}  // namespace kestova::codecs
