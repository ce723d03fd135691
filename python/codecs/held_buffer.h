// A buffer-protocol view held for the length of a call: the exporter stays alive and cannot be
// resized or freed while the view exists, so its memory can be read without the interpreter lock.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <span>

namespace kestova::codecs {

class HeldBuffer {
  public:
    HeldBuffer() = default;
    HeldBuffer(const HeldBuffer&) = delete;
    HeldBuffer& operator=(const HeldBuffer&) = delete;
    ~HeldBuffer();

    // Takes a C-contiguous read view of `object`; false with TypeError (or the exporter's
    // exception) set when the object offers none.
    bool acquire(PyObject* object);

    std::span<const uint8_t> bytes() const;

  private:
    Py_buffer view_{};
    bool held_ = false;
};

}  // namespace kestova::codecs
