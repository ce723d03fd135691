// Residuals of grid indices: the first or second difference, with indices before the first
// taken as 0, and the running sums that undo them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kestova::v2 {

// The predictor's state between blocks: the last index and the last first difference.
struct DifferenceState {
    int64_t last = 0;
    int64_t last_difference = 0;
};

// residuals[j] for indices[j] (j from 0), continuing from `state`, which it advances.
void differences(std::span<const uint32_t> indices, int order, DifferenceState& state,
                 std::span<int64_t> residuals);

// std::bit_width(m) for m < 2^63 without a branch on m = 0 (residuals are mostly small, often 0,
// so the branch the library's form takes mispredicts): 2m + 1 has one bit more and is never 0.
inline int residual_bits(uint64_t m) {
    return 63 - __builtin_clzll(2 * m + 1);
}

// residual_bits(m) for m below 2^51 with no bit scan, so that loops of it vectorise: 2m + 1 set
// into the mantissa of 2^52 and 2^52 taken away is 2m + 1 as a float64, exactly, and its
// exponent is the bit length of m.
inline uint64_t residual_bits_by_exponent(uint64_t m) {
    const double v = std::bit_cast<double>((2 * m + 1) | 0x4330000000000000u) - 0x1p52;
    return (std::bit_cast<uint64_t>(v) >> 52) - 1023;
}

// Undoes `differences`: turns residuals back into indices in place, continuing from `state`;
// false when an index leaves 0 .. 2^32 - 1 (a stream the encoder cannot have written).
bool undo_differences(std::span<int64_t> values, int order, DifferenceState& state);

}  // namespace kestova::v2
