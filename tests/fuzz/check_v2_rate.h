// Encodes arbitrary samples to a bits-per-sample target taken from the input and checks the
// promise: whenever encoding succeeds, the stream takes at most the target's bits and decodes to
// as many samples of the same type; a refusal carries a message.
// Input: byte 0 picks the element type (mod 8), byte 1 the target (mod 8: 0.05 to 40 bits per
// sample), the rest are the samples' bytes.
#pragma once

#include <array>
#include <cstring>
#include <vector>

#include "codec/v2/decoder.h"
#include "codec/v2/rate_target.h"
#include "tests/fuzz/fuzz_check.h"

namespace kestova::fuzz {

inline CheckResult check_v2_rate(Input data) {
    if (data.size() < 2) return {};
    const ElementTypeRow row =
        *v2::element_row(static_cast<uint8_t>(1 + data[0] % kElementTypes.size()));
    constexpr std::array<double, 8> kTargets{0.05, 0.5, 1.0, 2.0, 4.0, 8.0, 16.0, 40.0};
    const double target = kTargets[data[1] % kTargets.size()];
    const std::size_t count = (data.size() - 2) / row.size;
    // A copy, aligned for the element type.
    std::vector<uint64_t> aligned((count * row.size + 7) / 8);
    if (count > 0) std::memcpy(aligned.data(), data.data() + 2, count * row.size);
    const auto encoded = v2::encode_bits_per_sample({row.type, aligned.data(), count}, target);
    if (!encoded) {
        if (encoded.error().message().empty()) return violated("a refusal without a message");
        return {};
    }
    if (count > 0 &&
        8.0 * static_cast<double>(encoded->stream.size()) > target * static_cast<double>(count)) {
        return violated("the stream takes more bits per sample than the target");
    }
    const auto decoded = v2::decode(encoded->stream);
    if (!decoded) return violated("an encoded stream does not decode");
    if (decoded->samples.size() != count * row.size || decoded->info.element.type != row.type) {
        return violated("the stream decodes to other samples than it was given");
    }
    return {};
}

}  // namespace kestova::fuzz
