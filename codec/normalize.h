// Sample sanitising, normalisation to the unit range and its inverse.
#pragma once

#include <cstddef>
#include <limits>
#include <span>

namespace kestova {

// Ranges below the smallest normal float (zero and subnormal ranges) count as flat: their
// inverse is infinite or too close to overflow to scale by. Every other range is normalised,
// whatever the signal's units.
inline constexpr float kSmallestNormalRange = std::numeric_limits<float>::min();

// Smallest and largest sanitised sample.
struct SampleRange {
    float min;
    float max;
};

// Copies `samples` into `out` (same length) with NaN -> 0, +inf -> 1, -inf -> 0, in one pass,
// and returns the min and max of the copies; on ties the earliest sample wins (so -0.0 vs 0.0
// is decided by order). An empty input gives (+inf, -inf).
SampleRange sanitize(std::span<const float> samples, std::span<float> out);

// Maps `values` in place to (x - min) / range minus their mean and returns that mean; the mean
// is an in-order binary32 sum divided by the count. A zero or subnormal range zeroes everything
// and returns 0. The caller guarantees max - min is finite.
float normalize(std::span<float> values, SampleRange range);

// What normalize() makes of the sanitised sample `x` of a signal with this range whose normalised
// mean is `mean`, computed alone, bit for bit as normalize() computes it.
float normalized_sample(float x, SampleRange range, float mean);

// Maps `values` in place to (v + mean) * (max - min) + min, each operation rounded to binary32;
// where that overflows, the same value is computed at half scale and held within the finite
// floats, so finite inputs never give infinities.
void denormalize(std::span<float> values, float mean, SampleRange range);

}  // namespace kestova
