// Container to signal: every check in order, decode, dequantise, reconstruct, denormalise.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.h"
#include "engine/util.h"

namespace kestova {

// Decompresses one container into exactly `sample_count` samples; reentrant.
KestovaResult<std::vector<float>> decompress(std::span<const uint8_t> bytes);

// The same on the executor path `isa` (for tests and benchmarks); UnsupportedConfiguration when
// this processor cannot run it.
KestovaResult<std::vector<float>> decompress(std::span<const uint8_t> bytes, Undra::Isa isa);

}  // namespace kestova
