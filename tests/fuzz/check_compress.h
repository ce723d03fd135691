// Compresses arbitrary float bit patterns with options taken from the first two bytes, then
// decompresses: every accepted signal must come back with its sample count and finite samples.
#pragma once

#include <cmath>
#include <cstring>
#include <vector>

#include "codec/compressor.h"
#include "codec/decompressor.h"
#include "codec/method_table.h"
#include "tests/fuzz/fuzz_check.h"

namespace kestova::fuzz {

// The distinct option sets the first byte selects: cutoff, coder and method, in that order, each
// the remainder of what the ones before leave.
inline constexpr std::size_t kOptionSets =
    kCutoffLevels.size() * kEntropyCoders.size() * kMethods.size();

// The options the first two input bytes select.
inline CompressionOptions options_from_bytes(uint8_t settings, uint8_t scale) {
    std::size_t rest = settings;
    const CutoffLevel cutoff = kCutoffLevels[rest % kCutoffLevels.size()];
    rest /= kCutoffLevels.size();
    const EntropyCoder coder = kEntropyCoders[rest % kEntropyCoders.size()];
    rest /= kEntropyCoders.size();
    return {.cutoff = cutoff,
            .coder = coder,
            .method = static_cast<CompressionMethod>(rest % kMethods.size()),
            .scale = static_cast<uint8_t>(kMinScale + scale % (kMaxScale - kMinScale + 1))};
}

inline CheckResult check_compress(Input data) {
    if (data.size() < 2) return {};
    const CompressionOptions options = options_from_bytes(data[0], data[1]);
    std::vector<float> samples((data.size() - 2) / sizeof(float));
    if (!samples.empty())
        std::memcpy(samples.data(), data.data() + 2, samples.size() * sizeof(float));
    const auto container = compress(samples, options);
    if (!container) return {};  // empty input, or a range beyond binary32
    const auto signal = decompress(*container);
    if (!signal)
        return violated("a compressed signal fails to decompress: " + signal.error().message());
    if (signal->size() != samples.size()) return violated("the sample count changed");
    for (const float v : *signal) {
        if (!std::isfinite(v)) return violated("a decompressed sample is not finite");
    }
    return {};
}

}  // namespace kestova::fuzz
