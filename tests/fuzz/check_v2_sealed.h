// Arbitrary bytes made into a version-2 stream that passes its framing and checksum checks: the
// stated length is set to the input's size and the last four bytes to the CRC-32 of the rest, so
// that what the fuzzer changes reaches the header fields and the payload decoder instead of
// stopping at the checksum. The decoder must then keep check_v2_decode's promises: the stated
// samples or an error with a message, never a crash, an out-of-bounds read, or more samples than
// the stream's size allows.
#pragma once

#include <cstring>
#include <vector>

#include "codec/v2/format.h"
#include "tests/fuzz/check_v2_decode.h"

namespace kestova::fuzz {

inline constexpr std::size_t kStatedLengthOffset = 8;  // uint64, little-endian

inline CheckResult check_v2_sealed(Input data) {
    if (data.size() < v2::kSmallestStream) return check_v2_decode(data);
    std::vector<uint8_t> stream(data.begin(), data.end() - v2::kChecksumSize);
    const uint64_t length = data.size();
    for (std::size_t i = 0; i < sizeof length; ++i) {
        stream[kStatedLengthOffset + i] = static_cast<uint8_t>(length >> (8 * i));
    }
    v2::append_checksum(stream);
    return check_v2_decode(stream);
}

}  // namespace kestova::fuzz
