// Per-level coefficient counts of a decomposition, as the executor's size rule gives them.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/executor.h"

namespace kestova {

// The sizes of every level (level 0 analyses the whole transform length) and their totals.
struct LevelLayout {
    std::vector<Undra::DwtSize> sizes;
    std::size_t approximations = 0;  // length of the coarsest approximation
    std::size_t details = 0;         // sum of every level's details length

    // Coefficients in the sequence: coarsest approximation, then all details.
    std::size_t coefficients() const { return approximations + details; }
    // Position of level `level`'s details in the coefficient sequence.
    std::size_t details_offset(std::size_t level) const;
    // The layout of the first `levels` (1..sizes.size()) levels alone.
    LevelLayout first_levels(std::size_t levels) const;
};

// Level count for a signal of `length` samples and a transform of `filter_length` taps (1..8).
std::size_t compute_max_levels(std::size_t length, std::size_t filter_length);

// Chains `dwt_size` from `transform_length` over `levels` (>= 1) levels; no allocation but the
// list.
LevelLayout level_layout(const Undra::DwtExecutor& executor, std::size_t transform_length,
                         std::size_t levels);

}  // namespace kestova
