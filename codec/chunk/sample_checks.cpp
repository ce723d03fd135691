#include "codec/chunk/sample_checks.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>

#include "codec/normalize.h"

namespace kestova {

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

std::string non_finite_refusal(const NonFinite& non_finite) {
    return "refusing to compress " + std::to_string(non_finite.count) +
           " non-finite value(s) (NaN or infinity), the first at index " +
           std::to_string(non_finite.first) + ": Kestova would store them as finite numbers";
}

std::optional<std::string> unscalable_range(std::span<const float> samples) {
    if (samples.empty()) return std::nullopt;
    const auto [low, high] = std::ranges::minmax(samples);
    return unscalable_span(low, high);
}

std::optional<std::string> unscalable_span(float low, float high) {
    const float width = high - low;  // in float32, as the codec computes it
    if (!(width > 0.0f && width < kSmallestNormalRange)) return std::nullopt;
    char text[320];
    std::snprintf(text, sizeof text,
                  "the values span %.3g (from %.9g to %.9g), a nonzero range below the smallest "
                  "normal float32 (%.6g); Kestova would store them as a constant. Scale them up "
                  "first",
                  double{width}, double{low}, double{high}, double{kSmallestNormalRange});
    return text;
}

}  // namespace kestova
