// Entry points of the plane coder that the stream framing uses beyond the public ones.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/arans/arans.h"

namespace kestova::arans::detail {

// Plane bytes per chunk of the encoder. At least 256 << s, so that the copy of the model table it
// keeps for every chunk costs at most a quarter byte per decision (2 bytes per entry over 8
// decisions per byte), and at least 16 KiB, so that narrow contexts do not make chunks tiny.
constexpr std::size_t encoder_chunk_bytes(unsigned s) {
    return std::max(std::size_t{1} << 14, std::size_t{256} << s);
}

// Codes the bytes at even and at odd positions of `pairs` (even length) as two planes of width s,
// both in one pass, and appends LEB128(length of coded plane A), coded plane A, coded plane B to
// `out`. Byte-identical to encode_plane of each plane.
void encode_plane_pair(std::span<const uint8_t> pairs, unsigned s, std::vector<uint8_t>& out);

// Decodes two coded planes of n bytes each with width s and returns them interleaved (A at even,
// B at odd positions) followed by `tail`. Fails as decode_plane of A, then of B, then a refused
// output reservation (InvalidLength) would, in that order.
AransResult<std::vector<uint8_t>> decode_plane_pair(std::span<const uint8_t> coded_a,
                                                    std::span<const uint8_t> coded_b, std::size_t n,
                                                    unsigned s, std::span<const uint8_t> tail);

}  // namespace kestova::arans::detail
