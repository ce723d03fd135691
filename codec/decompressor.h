// Container to signal: every check in order, decode, dequantise, reconstruct, denormalise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/deflate.h"
#include "codec/error.h"

namespace kestova {

// A decoded coefficient image (`bytes`), held in the memory of the coder that produced it.
struct DecodedImage {
    std::vector<uint8_t> decoded;  // arans
    InflatedBytes inflated;        // deflate
    std::span<const uint8_t> bytes;
};

// The coefficient image of a payload coded by `coder` (the header's byte); inflation stops once
// `needed` bytes are out. Neither coder allocates more than its stream can justify, so a forged
// sample count costs nothing.
KestovaResult<DecodedImage> decode_payload(std::span<const uint8_t> payload, uint8_t coder,
                                           std::size_t needed);

// Decompresses one container into exactly `sample_count` samples; reentrant.
KestovaResult<std::vector<float>> decompress(std::span<const uint8_t> bytes);

}  // namespace kestova
