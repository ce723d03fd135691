// A fixed-size heap array whose elements start uninitialised, for buffers that are written
// before they are read (saves the zero-filling pass a std::vector would make).
#pragma once

#include <cstddef>
#include <memory>
#include <span>

namespace kestova {

template <typename T>
class UninitBuffer {
  public:
    UninitBuffer() = default;
    // Allocates n elements; throws std::bad_alloc when refused.
    explicit UninitBuffer(std::size_t n)
        : data_(std::make_unique_for_overwrite<T[]>(n)), size_(n) {}

    std::span<T> span() const { return {data_.get(), size_}; }
    std::size_t size() const { return size_; }
    // Frees the memory early.
    void reset() {
        data_.reset();
        size_ = 0;
    }

  private:
    std::unique_ptr<T[]> data_;
    std::size_t size_ = 0;
};

}  // namespace kestova
