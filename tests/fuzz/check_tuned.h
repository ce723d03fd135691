// Compresses arbitrary float bit patterns with an error bound taken from the first two bytes:
// encoding may refuse (non-finite samples, a bound the finest scale misses), but a container it
// returns must decode on every executor path within the bound.
#pragma once

#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "codec/decompressor.h"
#include "codec/method_table.h"
#include "codec/tuned/tuned_compressor.h"
#include "engine/processor_path.h"
#include "tests/cpp/support/codec_paths.h"
#include "tests/fuzz/fuzz_check.h"

namespace kestova::fuzz {

using testing_support::decompress_on;

// What the first two input bytes select: the method (or none, chosen by the encoder) and the
// coder from the first; the bound from the second, 10^-(1 + k/10) for k = 0..39 (1e-1 down to
// 1.3e-5), relative to the range when its top bit is clear, else absolute.
struct BoundedSettings {
    std::optional<CompressionMethod> method;
    EntropyCoder coder;
    ErrorBound bound;
};

inline BoundedSettings bounded_settings(uint8_t first, uint8_t second) {
    const std::size_t method = first % (kMethods.size() + 1);
    return {
        .method = method < kMethods.size() ? std::optional(kMethods[method].method) : std::nullopt,
        .coder =
            (first / (kMethods.size() + 1)) % 2 == 0 ? EntropyCoder::Arans : EntropyCoder::Deflate,
        .bound = {std::pow(10.0, -1.0 - static_cast<double>(second % 40) / 10.0),
                  (second & 0x80) == 0}};
}

inline CheckResult check_tuned(Input data) {
    if (data.size() < 2) return {};
    const BoundedSettings settings = bounded_settings(data[0], data[1]);
    std::vector<float> samples((data.size() - 2) / sizeof(float));
    if (!samples.empty())
        std::memcpy(samples.data(), data.data() + 2, samples.size() * sizeof(float));
    bool finite = true;
    double lo = INFINITY, hi = -INFINITY;
    for (const float x : samples) {
        finite = finite && std::isfinite(x);
        lo = std::min(lo, static_cast<double>(x));
        hi = std::max(hi, static_cast<double>(x));
    }
    const auto container =
        compress_bounded(samples, settings.bound, settings.method, settings.coder);
    if (!container) return {};  // empty, non-finite, too wide a range, or a bound out of reach
    if (!finite) return violated("non-finite samples were compressed under a bound");
    const double allowed =
        settings.bound.relative ? settings.bound.max_error * (hi - lo) : settings.bound.max_error;
    for (const Undra::Isa isa : Undra::supported_isas()) {
        const auto signal = decompress_on(*container, isa);
        if (!signal) return violated("a bounded container fails to decompress");
        if (signal->size() != samples.size()) return violated("the sample count changed");
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const double error =
                std::fabs(static_cast<double>((*signal)[i]) - static_cast<double>(samples[i]));
            if (!(error <= allowed)) return violated("a decoded sample is beyond the bound");
        }
    }
    return {};
}

}  // namespace kestova::fuzz
