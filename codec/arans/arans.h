// Adaptive binary range-ANS coder for byte planes, and the stream framing that splits a
// byte image into its even and odd byte planes. Pure functions; safe to call concurrently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string_view>
#include <vector>

namespace kestova::arans {

enum class AransError : uint8_t { Truncated = 0, InvalidLength = 1 };

// "Stream truncated" or "Inconsistent or oversized length in stream".
std::string_view to_string(AransError error);

template <typename T>
using AransResult = std::expected<T, AransError>;

// Largest pair count a stream may carry; the encoder never writes more, the decoder refuses more.
inline constexpr uint64_t kMaxPairCount = uint64_t{1} << 28;

// Codes one plane with context width s (0..8); an empty plane codes to nothing.
std::vector<uint8_t> encode_plane(std::span<const uint8_t> plane, unsigned s);

// Decodes n bytes coded with width s from `coded`; never reads outside it.
AransResult<std::vector<uint8_t>> decode_plane(std::span<const uint8_t> coded, std::size_t n,
                                               unsigned s);

// Frames and codes a byte image (verbatim below 6 bytes). Callers pass at most
// 2 * kMaxPairCount + 1 bytes, the most a stream can carry; longer images are not checked.
// Working memory besides the output: 2 bytes per binary decision for planes of one encoder
// chunk (16-64 KiB) or less, falling towards a quarter byte for longer planes. On a little-endian
// host a span of int16 coefficients viewed as bytes is the coefficient image.
std::vector<uint8_t> encode_stream(std::span<const uint8_t> bytes);

// Decodes a framed stream back to its byte image; never reads outside it.
AransResult<std::vector<uint8_t>> decode_stream(std::span<const uint8_t> stream);

// Reads one unsigned LEB128 number at `pos` and advances `pos` past it.
AransResult<uint64_t> rv(std::span<const uint8_t> stream, std::size_t& pos);

}  // namespace kestova::arans
