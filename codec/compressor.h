// Signal to container: normalise, transform, quantise, cut off, entropy-code, add the header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.h"
#include "codec/options.h"
#include "engine/util.h"

namespace kestova {

// Compresses `samples` into one container; reentrant, keeps no state between calls.
KestovaResult<std::vector<uint8_t>> compress(std::span<const float> samples,
                                             CompressionOptions options);

// The same on the executor path `isa` (for tests and benchmarks); UnsupportedConfiguration when
// this processor cannot run it.
KestovaResult<std::vector<uint8_t>> compress(std::span<const float> samples,
                                             CompressionOptions options, Undra::Isa isa);

// Level count for a signal of `length` samples and a transform of `filter_length` taps (1..8).
std::size_t compute_max_levels(std::size_t length, std::size_t filter_length);

}  // namespace kestova
