// Stream framing: splits a byte image into its even and odd byte planes, codes both with one
// context width and records the pair count and the coded length of the first plane.
#include <algorithm>
#include <new>

#include "codec/arans/arans.h"
#include "codec/arans/model.h"
#include "codec/arans/plane_coder.h"

namespace kestova::arans {

namespace {

// Inputs shorter than this are stored verbatim.
constexpr std::size_t kMinCodedSize = 6;
// Inputs from this size on use the whole previous byte as context.
constexpr std::size_t kWideContextSize = 16384;

}  // namespace

std::string_view to_string(AransError error) {
    switch (error) {
        case AransError::Truncated:
            return "Stream truncated";
        case AransError::InvalidLength:
            return "Inconsistent or oversized length in stream";
    }
    return "Unknown stream error";
}

AransResult<uint64_t> rv(std::span<const uint8_t> stream, std::size_t& pos) {
    uint64_t value = 0;
    for (unsigned k = 0;; ++k) {
        if (pos >= stream.size()) return std::unexpected(AransError::Truncated);
        const uint8_t byte = stream[pos++];
        if (k == 9) {
            if (byte & 0x80) return std::unexpected(AransError::InvalidLength);
            return value | uint64_t{byte & 1u} << 63;
        }
        value |= uint64_t{byte & 0x7Fu} << (7 * k);
        if (!(byte & 0x80)) return value;
    }
}

std::vector<uint8_t> encode_stream(std::span<const uint8_t> bytes) {
    const std::size_t n = bytes.size();
    if (n < kMinCodedSize) return {bytes.begin(), bytes.end()};
    const unsigned s = n < kWideContextSize ? 3 : 8;
    std::vector<uint8_t> out;
    out.push_back(static_cast<uint8_t>(n & 1));
    out.push_back(static_cast<uint8_t>(s));
    detail::put_leb128(out, n / 2);
    detail::encode_plane_pair(bytes.first(n & ~std::size_t{1}), s, out);
    if (n & 1) out.push_back(bytes.back());
    return out;
}

AransResult<std::vector<uint8_t>> decode_stream(std::span<const uint8_t> stream) {
    const std::size_t length = stream.size();
    if (length < kMinCodedSize) return std::vector<uint8_t>(stream.begin(), stream.end());
    const uint8_t flags = stream[0];
    const unsigned s = stream[1];
    if (s > 8) return std::unexpected(AransError::InvalidLength);
    std::size_t pos = 2;
    const auto pairs = rv(stream, pos);
    if (!pairs) return std::unexpected(pairs.error());
    if (*pairs > kMaxPairCount) return std::unexpected(AransError::InvalidLength);
    const auto a_len = rv(stream, pos);
    if (!a_len) return std::unexpected(a_len.error());
    const uint64_t start = pos;
    if (*a_len > UINT64_MAX - start) return std::unexpected(AransError::InvalidLength);
    const uint64_t end_a = start + *a_len;
    const std::size_t usable = length - (flags & 1);
    if (usable < end_a) return std::unexpected(AransError::Truncated);
    return detail::decode_plane_pair(stream.subspan(start, end_a - start),
                                     stream.subspan(end_a, usable - end_a), *pairs, s,
                                     stream.subspan(usable));
}

}  // namespace kestova::arans
