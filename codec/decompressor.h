// Container to signal: every check in order, decode, dequantise, reconstruct, denormalise.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.h"

namespace kestova {

// Decompresses one container into exactly `sample_count` samples; reentrant.
KestovaResult<std::vector<float>> decompress(std::span<const uint8_t> bytes);

}  // namespace kestova
