// Compresses arbitrary float bit patterns with options taken from the first two bytes, then
// decompresses: every accepted signal must come back with its sample count and finite samples.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/compressor.h"
#include "codec/decompressor.h"
#include "codec/method_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const kestova::CompressionOptions options{
        .cutoff = static_cast<kestova::CutoffLevel>(data[0] % 3),
        .coder = static_cast<kestova::EntropyCoder>(data[0] / 3 % 3),
        .method = static_cast<kestova::CompressionMethod>(data[0] / 9 % kestova::kMethods.size()),
        .scale = static_cast<uint8_t>(6 + data[1] % 7)};
    std::vector<float> samples((size - 2) / sizeof(float));
    if (!samples.empty()) std::memcpy(samples.data(), data + 2, samples.size() * sizeof(float));
    const auto container = kestova::compress(samples, options);
    if (!container) return 0;  // empty input, or a range beyond binary32
    const auto signal = kestova::decompress(*container);
    if (!signal || signal->size() != samples.size()) std::abort();
    for (const float v : *signal) {
        if (!std::isfinite(v)) std::abort();
    }
    return 0;
}
