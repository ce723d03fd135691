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

inline CheckResult check_compress(Input data) {
    if (data.size() < 2) return {};
    const CompressionOptions options{
        .cutoff = static_cast<CutoffLevel>(data[0] % 3),
        .coder = static_cast<EntropyCoder>(data[0] / 3 % 3),
        .method = static_cast<CompressionMethod>(data[0] / 9 % kMethods.size()),
        .scale = static_cast<uint8_t>(kMinScale + data[1] % (kMaxScale - kMinScale + 1))};
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
