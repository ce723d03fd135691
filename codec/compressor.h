// Signal to container: normalise, transform, quantise, cut off, entropy-code, add the header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.h"
#include "codec/level_layout.h"  // compute_max_levels, the level count compress plans with
#include "codec/options.h"

namespace kestova {

// Compresses `samples` into one container; reentrant, keeps no state between calls.
KestovaResult<std::vector<uint8_t>> compress(std::span<const float> samples,
                                             CompressionOptions options);

}  // namespace kestova
