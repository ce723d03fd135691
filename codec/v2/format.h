// The version-2 container (docs/format.md, "Version 2"): a 44-byte header, an extension area
// this decoder skips, the payload, and a CRC-32 of everything before it. Reading checks the
// framing and the checksum before any other field, so a damaged stream is reported as damaged.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "codec/element_type.h"
#include "codec/error.h"
#include "codec/v2/grid.h"

namespace kestova::v2 {

inline constexpr uint8_t kVersion = 2;
inline constexpr std::size_t kHeaderSize = 44;
inline constexpr std::size_t kChecksumSize = 4;
inline constexpr std::size_t kSmallestStream = kHeaderSize + kChecksumSize;

// How indices become residuals (the method byte): one row per method.
struct MethodRow {
    uint8_t byte;
    std::string_view name;
    int order;  // differences taken: residual = the order-th difference of the indices
    bool
        linear;  // less a per-frame linear prediction from earlier differences (linear_predictor.h)
};
inline constexpr std::array<MethodRow, 3> kMethods{{
    {1, "grid-delta1", 1, false},
    {2, "grid-delta2", 2, false},
    {3, "grid-linear", 1, true},
}};

// How residuals become bytes (the coder byte; block_modes.h).
struct CoderRow {
    uint8_t byte;
    std::string_view name;
};
inline constexpr std::array<CoderRow, 2> kCoders{{{1, "class-blocks"}, {2, "mode-blocks"}}};

// Block sizes (log2 of the residuals per block) a decoder accepts; the encoder writes kBlockLog2.
inline constexpr uint8_t kBlockLog2 = 16;
inline constexpr uint8_t kMinBlockLog2 = 10;
inline constexpr uint8_t kMaxBlockLog2 = 24;

// A decoder refuses a sample count above this many per payload byte: no stream the encoder
// writes comes near it (class_coder.h, table_coder.h), so a forged count cannot make it
// allocate more.
inline constexpr uint64_t kMaxSamplesPerPayloadByte = 1u << 14;

struct StreamInfo {
    uint8_t method = 1;
    uint8_t coder = 1;
    ElementTypeRow element{};
    uint64_t sample_count = 0;
    Grid grid;
    uint8_t block_log2 = kBlockLog2;
    std::size_t stream_length = 0;  // header through checksum; bytes after it are not the stream's
    std::span<const uint8_t> payload;

    int order() const;
    bool linear() const;
    uint64_t block_count() const;
};

// The header for `info` (payload and stream length as given) with an empty extension area.
std::array<uint8_t, kHeaderSize> header_bytes(const StreamInfo& info);

// Appends the CRC-32 of every byte of `stream`, which then holds a whole container.
void append_checksum(std::vector<uint8_t>& stream);

// The length a version-2 stream at the start of `bytes` states for itself (header through
// checksum), after checking the magic, the version and that the length is from kSmallestStream
// to the bytes present; nothing else is checked. For a caller whose stream is followed by other
// data (a `.kst` file's record): decode exactly bytes.first(length).
KestovaResult<std::size_t> stated_stream_length(std::span<const uint8_t> bytes);

// The fields of the version-2 stream that is exactly `bytes`, every one checked, with its
// payload; nothing of the payload is decoded. Bytes after the stated length are damage (an
// added byte), as are missing ones.
KestovaResult<StreamInfo> read_stream_info(std::span<const uint8_t> bytes);

}  // namespace kestova::v2
