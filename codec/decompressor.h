// Container to signal: every check in order, decode, dequantise, reconstruct, denormalise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.h"
#include "engine/util.h"

namespace kestova {

// The coefficient image of a payload coded by `coder` (the header's byte); inflation stops once
// `needed` bytes are out. Neither coder allocates more than its stream can justify, so a forged
// sample count costs nothing.
KestovaResult<std::vector<uint8_t>> decode_payload(std::span<const uint8_t> payload, uint8_t coder,
                                                   std::size_t needed);

// Decompresses one container into exactly `sample_count` samples; reentrant.
KestovaResult<std::vector<float>> decompress(std::span<const uint8_t> bytes);

// The same on the executor path `isa` (for tests and benchmarks); UnsupportedConfiguration when
// this processor cannot run it.
KestovaResult<std::vector<float>> decompress(std::span<const uint8_t> bytes, Undra::Isa isa);

}  // namespace kestova
