#include "codec/uninit_buffer.h"

#include <sys/mman.h>

namespace kestova::detail {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

void* allocate_uninit(std::size_t bytes) {
    void* p = nullptr;
    if (bytes >= 2 * kHugePage) {
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        p = std::aligned_alloc(kHugePage, rounded);
        if (p != nullptr) madvise(p, rounded, MADV_HUGEPAGE);  // a hint; failure changes nothing
    } else {
        p = std::malloc(bytes == 0 ? 1 : bytes);
    }
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace kestova::detail
