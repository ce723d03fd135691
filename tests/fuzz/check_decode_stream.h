// Decodes arbitrary bytes as a range-ANS stream (must not fault; a success must be a consistent
// image) and checks that the input bytes themselves survive an encode/decode round trip. Streams
// may announce any pair count up to the limit: the decoder reserves no more than the coded bytes
// can yield, so a forged count costs only the bytes actually decoded.
#pragma once

#include <vector>

#include "codec/arans/arans.h"
#include "tests/fuzz/fuzz_check.h"

namespace kestova::fuzz {

inline CheckResult check_decode_stream(Input data) {
    using namespace arans;
    const std::vector<uint8_t> bytes(data.begin(), data.end());
    const auto decoded = decode_stream(data);
    if (decoded && data.size() < 6 && *decoded != bytes) {
        return violated("a verbatim stream decodes to other bytes");
    }
    if (decoded && data.size() >= 6) {
        std::size_t pos = 2;
        const auto pairs = rv(data, pos);
        if (!pairs || decoded->size() != 2 * *pairs + (data[0] & 1)) {
            return violated("a decoded image does not hold the announced pair count");
        }
    }

    const auto back = decode_stream(encode_stream(data));
    if (!back || *back != bytes) return violated("the input does not survive a stream round trip");

    // Every width must round-trip a plane of the input bytes.
    const unsigned s = data.empty() ? 0 : data[0] % 9;
    const auto plane = decode_plane(encode_plane(data, s), data.size(), s);
    if (!plane || *plane != bytes) return violated("the input does not survive a plane round trip");
    return {};
}

}  // namespace kestova::fuzz
