#include "codec/chunk/reference_search.h"

#include <optional>
#include <utility>

#include "codec/compressor.h"
#include "codec/decompressor.h"
#include "codec/header.h"
#include "codec/tuned/bound_loop.h"

namespace kestova {

namespace {

// Below this scale every cutoff level zeroes nothing, so only "low" is worth trying there.
constexpr uint8_t kFirstCuttingScale = 8;
// The cutoffs tried after "low" at the chosen scale, coarsest first.
constexpr CutoffLevel kCoarserCutoffs[] = {CutoffLevel::High, CutoffLevel::Medium};

struct Trial {
    std::vector<uint8_t> container;
    double max_error;
};

KestovaResult<Trial> trial(std::span<const float> samples, CompressionOptions options,
                           uint8_t scale, CutoffLevel cutoff) {
    options.scale = scale;
    options.cutoff = cutoff;
    auto container = compress(samples, options);
    if (!container) return std::unexpected(container.error());
    const auto decoded = decompress(*container);
    if (!decoded) return std::unexpected(decoded.error());
    return Trial{std::move(*container), max_abs_error(*decoded, samples)};
}

}  // namespace

KestovaResult<ReferenceOutcome> reference_within(std::span<const float> samples, double held,
                                                 CompressionOptions options) {
    // Every scale below `low` misses; `high` meets (with `best` its container), or is the
    // untried finest.
    std::optional<Trial> best;
    uint8_t low = kMinScale, high = kMaxScale;
    while (low < high) {
        const auto middle = static_cast<uint8_t>((low + high) / 2);
        auto candidate = trial(samples, options, middle, CutoffLevel::Low);
        if (!candidate) return std::unexpected(candidate.error());
        if (candidate->max_error <= held) {
            best = std::move(*candidate);
            high = middle;
        } else {
            low = static_cast<uint8_t>(middle + 1);
        }
    }
    if (!best) {
        auto finest = trial(samples, options, kMaxScale, CutoffLevel::Low);
        if (!finest) return std::unexpected(finest.error());
        if (finest->max_error > held) return ReferenceOutcome{{}, finest->max_error};
        best = std::move(*finest);
    }
    if (high >= kFirstCuttingScale) {
        for (const CutoffLevel cutoff : kCoarserCutoffs) {
            auto candidate = trial(samples, options, high, cutoff);
            if (!candidate) return std::unexpected(candidate.error());
            if (candidate->max_error <= held) {
                return ReferenceOutcome{std::move(candidate->container), candidate->max_error};
            }
        }
    }
    return ReferenceOutcome{std::move(best->container), best->max_error};
}

}  // namespace kestova
