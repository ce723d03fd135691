#include "codec/v2/predictor.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

#include "codec/v2/class_coder.h"
#include "codec/v2/grid.h"

namespace kestova::v2 {

void differences(std::span<const uint32_t> indices, int order, DifferenceState& state,
                 std::span<int64_t> residuals) {
    for (std::size_t j = 0; j < indices.size(); ++j) {
        const int64_t k = indices[j];
        const int64_t difference = k - state.last;
        residuals[j] = order == 1 ? difference : difference - state.last_difference;
        state.last = k;
        state.last_difference = difference;
    }
}

bool undo_differences(std::span<int64_t> values, int order, DifferenceState& state) {
    // Residuals are below 2^32 in magnitude and indices stay within 0 .. 2^32 - 1 (checked
    // before the next step), so no sum below can overflow.
    for (int64_t& value : values) {
        const int64_t difference = order == 1 ? value : state.last_difference + value;
        const int64_t k = state.last + difference;
        if (k < 0 || k > static_cast<int64_t>(kMaxIndex)) return false;
        value = k;
        state.last = k;
        state.last_difference = difference;
    }
    return true;
}

}  // namespace kestova::v2
