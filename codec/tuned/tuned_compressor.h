// The tuned encoder: the reference pipeline with the tuned coefficient rule, at a fixed scale or
// held to an error bound by one closed-loop pass. Its containers decode with the one decoder.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "codec/error.h"
#include "codec/options.h"
#include "codec/tuned/tuned_quantizer.h"

namespace kestova {

// A maximum error: absolute (the samples' units) or relative to the range max - min.
struct ErrorBound {
    double max_error;
    bool relative;
};

// Compresses `samples` with the options' scale, cutoff, method and coder, choosing the
// coefficients by the tuned rule.
KestovaResult<std::vector<uint8_t>> compress_tuned(std::span<const float> samples,
                                                   CompressionOptions options);

// A container whose decoded samples differ from `samples` by at most the bound on every executor
// path, at the coarsest scale the closed loop reaches it with; the method is chosen when not
// given. NaN and infinities are refused. A bound the finest scale cannot meet, even corrected,
// is UnsupportedConfiguration naming the error reached.
KestovaResult<std::vector<uint8_t>> compress_bounded(std::span<const float> samples,
                                                     ErrorBound bound,
                                                     std::optional<CompressionMethod> method,
                                                     EntropyCoder coder);

// compress_bounded's outcome in full: the container (empty when the bound cannot be met) and the
// largest error of what was reached, in the samples' units.
struct BoundedEncoding {
    std::vector<uint8_t> container;
    double max_error = 0.0;
    CompressionMethod method = CompressionMethod::Cdf97;
    uint8_t scale = 0;
};
KestovaResult<BoundedEncoding> encode_within(std::span<const float> samples, ErrorBound bound,
                                             std::optional<CompressionMethod> method,
                                             EntropyCoder coder,
                                             const TunedRule& rule = kTunedRule);

// compress_tuned with another rule (for measuring rules).
KestovaResult<std::vector<uint8_t>> compress_tuned_with(std::span<const float> samples,
                                                        CompressionOptions options,
                                                        const TunedRule& rule);

// The margin kept below an absolute bound so that it also holds on every executor path (their
// float32 rounding differs in the last bits) for a signal of this range: a fraction of the range
// plus one unit in the last place of the largest magnitude.
double path_margin(float signal_min, float signal_max);

}  // namespace kestova
