// Residuals of grid indices: the first or second difference, with indices before the first
// taken as 0, and the running sums that undo them.
#pragma once

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

// The order (1 or 2) whose residuals cost fewer bits by their bit lengths; 1 when second
// differences would leave the coder's residual range.
int choose_order(std::span<const uint32_t> indices);

// Undoes `differences`: turns residuals back into indices in place, continuing from `state`;
// false when an index leaves 0 .. 2^32 - 1 (a stream the encoder cannot have written).
bool undo_differences(std::span<int64_t> values, int order, DifferenceState& state);

}  // namespace kestova::v2
