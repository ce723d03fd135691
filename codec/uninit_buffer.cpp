#include "codec/uninit_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace kestova {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Buffers from this size on are offered huge pages: below it the faults saved are few.
constexpr std::size_t kHugeBufferMin = 2 * kHugePage;

}  // namespace

void advise_huge_pages(void* p, std::size_t bytes) {
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t first = (start + kHugePage - 1) / kHugePage * kHugePage;
    const std::uintptr_t last = (start + bytes) / kHugePage * kHugePage;
    if (bytes < kHugeBufferMin || last <= first) return;
    madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);  // a hint only
}

void release_pages(void* p, std::size_t bytes) {
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t first = (start + page - 1) / page * page;
    const std::uintptr_t last = (start + bytes) / page * page;
    if (last <= first) return;
    madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);  // failure keeps them
}

void zero_releasing(std::span<float> values) {
#if defined(__linux__)
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(values.data());
    const std::uintptr_t end = start + values.size_bytes();
    const std::uintptr_t first = std::min(end, (start + page - 1) / page * page);
    const std::uintptr_t last = std::max(first, end / page * page);
    const auto at = [&](std::uintptr_t address) { return (address - start) / sizeof(float); };
    if (last > first && madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED) == 0) {
        std::fill(values.begin(), values.begin() + at(first), 0.0f);
        std::fill(values.begin() + at(last), values.end(), 0.0f);
        return;
    }
#endif
    std::fill(values.begin(), values.end(), 0.0f);
}

namespace detail {

void* allocate_uninit(std::size_t bytes) {
    void* p = nullptr;
    if (bytes >= kHugeBufferMin) {
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        p = std::aligned_alloc(kHugePage, rounded);
        if (p != nullptr) madvise(p, rounded, MADV_HUGEPAGE);  // a hint; failure changes nothing
    } else {
        p = std::malloc(bytes == 0 ? 1 : bytes);
    }
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace detail

}  // namespace kestova
