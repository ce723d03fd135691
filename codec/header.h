// The 52-byte container header: parsing with every check in order, and writing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/error.h"

namespace kestova {

inline constexpr std::size_t HEADER_SIZE = 52;

// Every field of the header, in layout order; `flags` and `reserved` are carried verbatim.
struct KestovaHeader {
    std::array<uint8_t, 4> magic;
    std::array<uint8_t, 2> version;
    std::array<uint8_t, 2> format_tag;
    std::array<uint8_t, 4> method_tag;
    uint8_t levels;
    uint8_t scale;
    uint8_t coder;
    uint8_t flags;
    uint32_t sample_count;
    float signal_min;
    float signal_max;
    float normalized_mean;
    uint32_t payload_length;
    std::array<uint8_t, 16> reserved;

    // Parses the first 52 bytes of `bytes` (which may be longer); reads nothing else.
    static KestovaResult<KestovaHeader> from_bytes(std::span<const uint8_t> bytes);
};

// The values the compressor writes into a header.
struct HeaderFields {
    std::array<uint8_t, 4> method_tag;
    uint8_t levels;
    uint8_t scale;
    uint8_t coder;
    uint32_t sample_count;
    float signal_min;
    float signal_max;
    float normalized_mean;
    uint32_t payload_length;
};

// Writes the 52 header bytes (magic, version 1.1, "f3", zero flags and reserved) into `out`.
void write_header(const HeaderFields& fields, std::span<uint8_t, HEADER_SIZE> out);

}  // namespace kestova
