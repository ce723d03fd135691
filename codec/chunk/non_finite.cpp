#include "codec/chunk/non_finite.h"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace kestova::codecs {

namespace {

// A float is finite when its exponent bits are not all ones.
bool is_non_finite(float value) {
    return (std::bit_cast<uint32_t>(value) & 0x7FFFFFFFu) >= 0x7F800000u;
}

}  // namespace

NonFinite find_non_finite(std::span<const float> samples) {
    // The counting loop has no early exit so it vectorises; the search runs only on refusal.
    std::size_t count = 0;
    for (const float value : samples) count += is_non_finite(value) ? 1 : 0;
    if (count == 0) return {};
    const auto first = std::ranges::find_if(samples, is_non_finite);
    return {count, static_cast<std::size_t>(first - samples.begin())};
}

}  // namespace kestova::codecs
