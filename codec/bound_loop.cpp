#include "codec/bound_loop.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "codec/quantize.h"
#include "codec/reconstruct.h"

namespace kestova {

namespace {

// Rounds that bring no fewer samples out of bound before the loop gives up, and rounds in all:
// a loop that converges does so in a few rounds, one that does not is better restarted one
// scale finer than continued.
constexpr std::size_t kMaxIdleRounds = 3;
constexpr std::size_t kMaxRounds = 12;
// Corrections start as plain rounding of the residual's coefficients; when a round changes
// nothing the threshold falls by this factor, so the largest coefficients reaching a stubborn
// sample move by one step.
constexpr float kFirstThreshold = 0.5f;
constexpr float kThresholdFall = 0.6f;
constexpr float kSmallestThreshold = 0.05f;

// The signal the sequence `coefficients` (of `layout`, quantised at `scale`) decodes to, in the
// normalised domain, transform_length values.
KestovaResult<std::vector<float>> reconstruct_normalized(const Undra::DwtExecutor& executor,
                                                         const LevelLayout& layout,
                                                         std::size_t transform_length,
                                                         uint8_t scale,
                                                         std::span<const int16_t> coefficients) {
    std::vector<float> values(layout.coefficients());
    dequantize(std::span(reinterpret_cast<const uint8_t*>(coefficients.data()),
                         values.size() * sizeof(int16_t)),
               std::ldexp(1.0f, -static_cast<int>(scale)), values);
    auto signal = reconstruct(executor, layout, transform_length, values);
    if (!signal) return std::unexpected(KestovaError::transform(signal.error().message()));
    return std::move(*signal);
}

// Adds the rounded coefficients `residual` * multiplier whose magnitude reaches `threshold` (at
// least one step each) to `q`, saturating; returns how many changed.
std::size_t add_corrections(std::span<const float> residual, float multiplier, float threshold,
                            std::span<int16_t> q) {
    std::size_t changed = 0;
    for (std::size_t j = 0; j < residual.size(); ++j) {
        const float p = residual[j] * multiplier;
        if (!(std::fabs(p) >= threshold)) continue;
        const float magnitude = std::max(1.0f, std::floor(std::fabs(p) + 0.5f));
        const int32_t step = static_cast<int32_t>(std::copysign(magnitude, p));
        const int32_t sum = std::clamp<int32_t>(q[j] + step, INT16_MIN, INT16_MAX);
        if (sum != q[j]) {
            q[j] = static_cast<int16_t>(sum);
            ++changed;
        }
    }
    return changed;
}

}  // namespace

double max_abs_error(std::span<const float> decoded, std::span<const float> samples) {
    double worst = 0.0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        worst = std::max(
            worst, std::fabs(static_cast<double>(decoded[i]) - static_cast<double>(samples[i])));
    }
    return worst;
}

KestovaResult<LoopOutcome> correct_within(const Undra::DwtExecutor& executor,
                                          const LevelLayout& layout, std::size_t transform_length,
                                          uint8_t scale, const BoundTarget& target,
                                          std::span<int16_t> coefficients) {
    const std::size_t n = target.samples.size();
    const std::size_t levels = layout.sizes.size();
    const float multiplier = std::ldexp(1.0f, scale);
    std::vector<float> decoded(n);
    std::vector<float> residual(transform_length, 0.0f);
    std::vector<std::size_t> outside;
    LoopOutcome outcome;
    float threshold = kFirstThreshold;
    std::size_t fewest_outside = SIZE_MAX;
    std::size_t idle_rounds = 0;
    while (true) {
        auto normalized =
            reconstruct_normalized(executor, layout, transform_length, scale, coefficients);
        if (!normalized) return std::unexpected(normalized.error());
        ++outcome.rounds;
        std::copy_n(normalized->begin(), n, decoded.begin());
        denormalize(decoded, target.mean, target.range);
        outside.clear();
        outcome.max_error = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double error =
                std::fabs(static_cast<double>(decoded[i]) - static_cast<double>(target.samples[i]));
            outcome.max_error = std::max(outcome.max_error, error);
            if (error > target.bound) outside.push_back(i);
        }
        if (outside.empty()) {
            outcome.met = true;
            return outcome;
        }
        if (outside.size() < fewest_outside) {
            fewest_outside = outside.size();
            idle_rounds = 0;
        } else if (++idle_rounds >= kMaxIdleRounds) {
            return outcome;
        }
        if (outcome.rounds >= kMaxRounds) return outcome;

        // The residual at the samples out of bound only, so the coefficients that change are
        // those reaching them.
        std::fill(residual.begin(), residual.end(), 0.0f);
        for (const std::size_t i : outside) residual[i] = target.normalized[i] - (*normalized)[i];
        auto analysed = executor.multi_dwt(residual, levels);
        if (!analysed) return std::unexpected(KestovaError::transform(analysed.error().message()));
        while (true) {
            std::size_t changed =
                add_corrections(analysed->levels.back().approximations, multiplier, threshold,
                                coefficients.first(layout.approximations));
            for (std::size_t level = 0; level < levels; ++level) {
                changed +=
                    add_corrections(analysed->levels[level].details, multiplier, threshold,
                                    coefficients.subspan(layout.details_offset(level),
                                                         layout.sizes[level].details_length));
            }
            if (changed > 0) break;
            if (threshold <= kSmallestThreshold) return outcome;
            threshold = std::max(kSmallestThreshold, threshold * kThresholdFall);
        }
    }
}

}  // namespace kestova
