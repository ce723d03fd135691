// Finding NaN and infinities in float32 samples, which the compressor would silently replace.
#pragma once

#include <cstddef>
#include <span>

namespace kestova::codecs {

struct NonFinite {
    std::size_t count = 0;
    std::size_t first = 0;  // index of the first one; meaningful when count > 0
};

// Counts the samples that are NaN or infinite, and finds the first of them.
NonFinite find_non_finite(std::span<const float> samples);

}  // namespace kestova::codecs
