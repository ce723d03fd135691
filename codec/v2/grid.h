// The quantisation grid of a version-2 stream: sample i is origin + k[i] x step, k[i] a 32-bit
// unsigned grid index. The encoder and the decoder turn an index into a sample with the same
// function, in float64 without contraction into fused multiply-adds (codec/v2 is compiled with
// -ffp-contract=off), so what the encoder checks is what every decoder gives, whatever the
// processor.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace kestova::v2 {

struct Grid {
    double origin = 0.0;
    double step = 1.0;  // positive and finite
};

// The largest grid index a stream may hold.
inline constexpr uint64_t kMaxIndex = 0xFFFFFFFFu;

// k (at most kMaxIndex, as every grid index is) as a float64, exactly and with no branch: set
// into the mantissa of 2^52, less 2^52. Loops of it vectorise, where the conversion of a whole
// uint64 branches on its top bit.
inline double index_value(uint64_t k) {
    return std::bit_cast<double>(k | 0x4330000000000000u) - 0x1p52;
}

// origin + k x step, as one rounded product and one rounded sum (inline: the quantiser calls it
// per sample; -ffp-contract=off keeps it two roundings wherever it is inlined); k <= kMaxIndex.
inline double grid_value(Grid grid, uint64_t k) {
    const double offset = index_value(k) * grid.step;
    return grid.origin + offset;
}

// std::nearbyint in the default rounding mode (to nearest, ties to even), without the library
// call baseline x86-64 makes for it: below 2^52 in magnitude, adding and taking away 2^52 leaves
// the value rounded to a whole number; at or beyond it (and NaN) the value is already whole.
inline double round_to_even(double value) {
    if (!(std::abs(value) < 0x1p52)) return value;
    const double shift = std::copysign(0x1p52, value);
    return (value + shift) - shift;
}

// The sample of type T that index k decodes to: float types by rounding the value to T,
// integer types by rounding to nearest (ties to even) and clipping to T's range.
template <typename T>
T grid_sample(Grid grid, uint64_t k) {
    const double value = grid_value(grid, k);
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(value);
    } else {
        constexpr double lowest = static_cast<double>(std::numeric_limits<T>::lowest());
        constexpr double highest = static_cast<double>(std::numeric_limits<T>::max());
        const double rounded = round_to_even(value);
        if (!(rounded >= lowest)) return std::numeric_limits<T>::lowest();  // also NaN
        if (rounded > highest) return std::numeric_limits<T>::max();
        return static_cast<T>(rounded);
    }
}

}  // namespace kestova::v2
