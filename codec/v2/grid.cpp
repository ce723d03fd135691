#include "codec/v2/grid.h"

namespace kestova::v2 {

double grid_value(Grid grid, uint64_t k) {
    const double offset = static_cast<double>(k) * grid.step;
    return grid.origin + offset;
}

}  // namespace kestova::v2
