#include "codec/header.h"

#include <algorithm>
#include <bit>

#include "codec/method_executor.h"
#include "codec/options.h"

namespace kestova {

namespace {

constexpr std::array<uint8_t, 4> kMagic = {'K', 'S', 'T', 'V'};
constexpr std::array<uint8_t, 2> kFormatTag = {'f', '3'};

template <std::size_t N>
std::array<uint8_t, N> take(std::span<const uint8_t> bytes, std::size_t offset) {
    std::array<uint8_t, N> out;
    std::copy_n(bytes.begin() + offset, N, out.begin());
    return out;
}

uint32_t read_u32(std::span<const uint8_t> bytes, std::size_t offset) {
    return uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 |
           uint32_t{bytes[offset + 2]} << 16 | uint32_t{bytes[offset + 3]} << 24;
}

void write_u32(std::span<uint8_t, HEADER_SIZE> out, std::size_t offset, uint32_t v) {
    for (std::size_t k = 0; k < 4; ++k) out[offset + k] = static_cast<uint8_t>(v >> (8 * k));
}

// A binary32 is finite when its exponent bits are not all ones.
bool is_finite_bits(uint32_t bits) {
    return (bits & 0x7FFFFFFFu) < 0x7F800000u;
}

}  // namespace

KestovaResult<KestovaHeader> KestovaHeader::from_bytes(std::span<const uint8_t> bytes) {
    if (bytes.size() < HEADER_SIZE) return std::unexpected(KestovaError::invalid_header());
    KestovaHeader h;
    h.magic = take<4>(bytes, 0);
    if (h.magic != kMagic) return std::unexpected(KestovaError::invalid_magic(h.magic));
    h.version = take<2>(bytes, 4);
    if (h.version[0] != 1) return std::unexpected(KestovaError::invalid_version(h.version));
    h.format_tag = take<2>(bytes, 6);
    if (h.format_tag != kFormatTag) {
        return std::unexpected(KestovaError::invalid_format_tag(h.format_tag));
    }
    h.method_tag = take<4>(bytes, 8);
    if (!method_from_tag(h.method_tag)) {
        return std::unexpected(KestovaError::invalid_method(h.method_tag));
    }
    h.levels = bytes[12];
    h.scale = bytes[13];
    if (!is_supported_scale(h.scale)) {
        return std::unexpected(KestovaError::unsupported_scale(h.scale));
    }
    h.coder = bytes[14];
    if (!is_recorded_coder(h.coder)) return std::unexpected(KestovaError::unknown_coder(h.coder));
    h.flags = bytes[15];
    h.sample_count = read_u32(bytes, 16);
    for (const std::size_t offset : {20, 24, 28}) {
        if (!is_finite_bits(read_u32(bytes, offset))) {
            return std::unexpected(KestovaError::invalid_header());
        }
    }
    h.signal_min = std::bit_cast<float>(read_u32(bytes, 20));
    h.signal_max = std::bit_cast<float>(read_u32(bytes, 24));
    h.normalized_mean = std::bit_cast<float>(read_u32(bytes, 28));
    h.payload_length = read_u32(bytes, 32);
    h.reserved = take<16>(bytes, 36);
    return h;
}

void write_header(const HeaderFields& fields, std::span<uint8_t, HEADER_SIZE> out) {
    std::ranges::fill(out, uint8_t{0});
    std::ranges::copy(kMagic, out.begin());
    out[4] = 1;
    out[5] = 1;
    std::ranges::copy(kFormatTag, out.begin() + 6);
    std::ranges::copy(fields.method_tag, out.begin() + 8);
    out[12] = fields.levels;
    out[13] = fields.scale;
    out[14] = fields.coder;
    write_u32(out, 16, fields.sample_count);
    write_u32(out, 20, std::bit_cast<uint32_t>(fields.signal_min));
    write_u32(out, 24, std::bit_cast<uint32_t>(fields.signal_max));
    write_u32(out, 28, std::bit_cast<uint32_t>(fields.normalized_mean));
    write_u32(out, 32, fields.payload_length);
}

}  // namespace kestova
