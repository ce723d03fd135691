// What a chunk's float32 samples must be before they are encoded: finite (the compressor would
// replace NaN and infinities by finite numbers), and spanning either nothing or a range the codec
// can scale by (a nonzero range below the smallest normal float32 would be stored as a constant).
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace kestova {

struct NonFinite {
    std::size_t count = 0;
    std::size_t first = 0;  // index of the first one; meaningful when count > 0
};

// Counts the samples that are NaN or infinite, and finds the first of them.
NonFinite find_non_finite(std::span<const float> samples);

// "refusing to compress N non-finite value(s) ...", the refusal of `non_finite` (count > 0).
std::string non_finite_refusal(const NonFinite& non_finite);

// The refusal of finite `samples` whose nonzero range is below the smallest normal float32;
// nothing for every other range.
std::optional<std::string> unscalable_range(std::span<const float> samples);

// The same refusal for finite samples whose smallest and largest are `low` and `high` (as a
// container's header records them), without a pass over the samples.
std::optional<std::string> unscalable_span(float low, float high);

}  // namespace kestova
