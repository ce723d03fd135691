// Coefficient quantisation to 16-bit integers with the detail cutoff, and its inverse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/options.h"

namespace kestova {

// The cutoff magnitude for `scale` (6..12) and `cutoff`: details with |q| below it become 0.
int32_t cutoff_threshold(uint8_t scale, CutoffLevel cutoff);

// out[i] = trunc(clamp(in[i] * multiplier, -32768, 32767)), NaN -> 0, then 0 when |q| < threshold;
// returns true when the clamp changed some value (a truncated product outside the int16 range).
bool quantize(std::span<const float> in, float multiplier, int32_t threshold,
              std::span<int16_t> out);

// True when quantize(in, multiplier, ...) would clamp some value; reads `in` once, writes nothing.
bool quantize_would_clamp(std::span<const float> in, float multiplier);

// out[i] = (float)q[i] * factor, reading q as little-endian 16-bit values from `image`
// (2 * out.size() bytes).
void dequantize(std::span<const uint8_t> image, float factor, std::span<float> out);

}  // namespace kestova
