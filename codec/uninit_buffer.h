// A fixed-size heap array whose elements start uninitialised, for buffers that are written
// before they are read (saves the zero-filling pass a std::vector would make). Large buffers
// are aligned to 2 MiB and advised as huge pages, so first touch costs far fewer page faults.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>

namespace kestova {

// Asks the kernel to back the whole 2 MiB pages inside [p, p + bytes) with huge pages when they
// are first touched; a hint for large buffers that are about to be written. Never fails.
void advise_huge_pages(void* p, std::size_t bytes);

// Gives the whole pages inside [p, p + bytes) back to the system: their contents are lost (they
// read as zeros if touched again). For the parts of a large buffer nothing reads any more.
void release_pages(void* p, std::size_t bytes);

// Sets every value to zero; on Linux, whole pages are given back to the system instead of
// written (private anonymous pages read back as zeros and take memory again only when written).
void zero_releasing(std::span<float> values);

namespace detail {

// Frees what allocate_uninit returned.
struct UninitFree {
    void operator()(void* p) const { std::free(p); }
};

// `bytes` of uninitialised memory, to be released with std::free; throws std::bad_alloc when
// refused.
void* allocate_uninit(std::size_t bytes);

}  // namespace detail

template <typename T>
class UninitBuffer {
  public:
    UninitBuffer() = default;
    // Allocates n elements; throws std::bad_alloc when refused.
    explicit UninitBuffer(std::size_t n)
        : data_(static_cast<T*>(detail::allocate_uninit(checked_bytes(n)))), size_(n) {}

    std::span<T> span() const { return {data_.get(), size_}; }
    std::size_t size() const { return size_; }
    // Frees the memory early.
    void reset() {
        data_.reset();
        size_ = 0;
    }

  private:
    static std::size_t checked_bytes(std::size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        return n * sizeof(T);
    }

    std::unique_ptr<T[], detail::UninitFree> data_;
    std::size_t size_ = 0;
};

}  // namespace kestova
