// Feeds arbitrary bytes to decompress: it must return a signal of exactly sample_count samples
// or an error with a message, never crash, read out of bounds or allocate beyond what the input
// justifies.
#pragma once

#include <cstring>

#include "codec/decompressor.h"
#include "codec/header.h"
#include "tests/fuzz/fuzz_check.h"

namespace kestova::fuzz {

inline CheckResult check_decompress(Input data) {
    const auto out = decompress(data);
    if (!out) {
        if (out.error().message().empty()) return violated("an error without a message");
        return {};
    }
    if (data.size() < HEADER_SIZE) return violated("success without a whole header");
    uint32_t sample_count = 0;
    std::memcpy(&sample_count, data.data() + 16, sizeof(sample_count));
    if (out->size() != sample_count) return violated("the signal's length is not sample_count");
    return {};
}

}  // namespace kestova::fuzz
