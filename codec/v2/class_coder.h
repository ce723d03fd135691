// The version-2 residual coder (coder byte 1): each block of residuals is one range-coded byte
// string, independent of every other block (a decoder may run blocks in parallel).
//
// A residual r (|r| < 2^32) is coded as its magnitude class c = bit length of |r| (0 to 32)
// through an adaptive model whose context is the class of the previous residual in the block
// (capped at 12; 0 before the first), then, when c > 0, its sign through an adaptive binary
// model whose context is (sign of the last nonzero residual in the block, c), and the c - 1 bits
// of |r| below the leading one, raw, most significant first, in groups of at most 16.
//
// Sign model: a 12-bit probability p of positive, starting at 2048; positive owns [0, p) of 4096;
// after each sign p moves 1/32 of the way to 0 or 4096, kept within 32..4064.
// Class model: per context, 33 frequencies starting at 1; after coding class c its frequency grows
// by 24, and when the total would pass 2^16 every frequency f becomes (f + 1) / 2. So every
// frequency stays >= 1 and every total <= 2^16, which the coder's precision needs (range >= 2^24
// at each step, so range / total >= 2^8), and no symbol costs less than 7e-4 bits: a block of m
// residuals takes at least m / 2^14 bytes (signs only add to that), which the decoder's memory
// bound relies on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kestova::v2 {

inline constexpr int64_t kResidualLimit = int64_t{1} << 32;  // |r| stays below it

// Appends the coded block of `residuals` (each |r| < kResidualLimit) to `out`.
void encode_block(std::span<const int64_t> residuals, std::vector<uint8_t>& out);

// Decodes residuals.size() residuals from the coded block `block`; false when the block is not
// one the encoder writes for that many residuals (an impossible symbol, or bytes missing or
// left over). Reads nothing outside `block`.
bool decode_block(std::span<const uint8_t> block, std::span<int64_t> residuals);

}  // namespace kestova::v2
