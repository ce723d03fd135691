// Feeds arbitrary bytes to decompress: it must return a signal of exactly sample_count samples
// or an error, never crash, read out of bounds or allocate beyond what the input justifies.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "codec/decompressor.h"
#include "codec/header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const auto out = kestova::decompress(std::span<const uint8_t>(data, size));
    if (out.has_value()) {
        if (size < kestova::HEADER_SIZE) std::abort();  // success needs a whole header
        uint32_t sample_count = 0;
        std::memcpy(&sample_count, data + 16, sizeof(sample_count));
        if (out->size() != sample_count) std::abort();
    } else if (out.error().message().empty()) {
        std::abort();
    }
    return 0;
}
