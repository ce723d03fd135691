#include "codec/bound_loop.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "codec/quantize.h"
#include "codec/reconstruct.h"
#include "engine/level_analysis.h"

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
// Samples are screened in blocks: a block whose float32 errors all lie below the bound by more
// than float32 rounding can account for needs no exact look.
constexpr std::size_t kScreenBlock = 256;
constexpr double kScreenSlack = 1.0 - 0x1p-20;

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

// The loop's working memory, kept from round to round.
struct Workspace {
    std::vector<float> dequantized;
    std::vector<float> reconstruction;
    std::vector<float> spare;
    std::vector<float> decoded;
    std::vector<float> residual;
    std::vector<float> approximations;
    std::vector<float> details;
    std::vector<std::size_t> outside;
};

// Decodes `coefficients` into ws.reconstruction (normalised) and ws.decoded (denormalised).
KestovaResult<void> decode(const Undra::DwtExecutor& executor, const LevelLayout& layout,
                           std::size_t transform_length, uint8_t scale, const BoundTarget& target,
                           std::span<const int16_t> coefficients, Workspace& ws) {
    dequantize(std::span(reinterpret_cast<const uint8_t*>(coefficients.data()),
                         ws.dequantized.size() * sizeof(int16_t)),
               std::ldexp(1.0f, -static_cast<int>(scale)), ws.dequantized);
    const auto status = reconstruct_into(executor, layout, transform_length, ws.dequantized,
                                         ws.reconstruction, ws.spare);
    if (!status) return std::unexpected(KestovaError::transform(status.error().message()));
    const std::size_t n = target.samples.size();
    std::copy_n(ws.reconstruction.begin(), n, ws.decoded.begin());
    denormalize(ws.decoded, target.mean, target.range);
    return {};
}

// Fills ws.outside with the samples beyond the bound and returns the largest error.
double find_outside(const BoundTarget& target, Workspace& ws) {
    const std::size_t n = target.samples.size();
    const float screen = static_cast<float>(target.bound * kScreenSlack);
    ws.outside.clear();
    double worst = 0.0;
    for (std::size_t start = 0; start < n; start += kScreenBlock) {
        const std::size_t end = std::min(n, start + kScreenBlock);
        float block_worst = 0.0f;
        for (std::size_t i = start; i < end; ++i) {
            block_worst = std::max(block_worst, std::fabs(ws.decoded[i] - target.samples[i]));
        }
        if (block_worst < screen) {
            worst = std::max(worst, static_cast<double>(block_worst));
            continue;
        }
        for (std::size_t i = start; i < end; ++i) {
            const double error = std::fabs(static_cast<double>(ws.decoded[i]) -
                                           static_cast<double>(target.samples[i]));
            worst = std::max(worst, error);
            if (error > target.bound) ws.outside.push_back(i);
        }
    }
    return worst;
}

// Adds to `coefficients` the quantised analysis of the residual at the samples outside; returns
// how many coefficients changed.
KestovaResult<std::size_t> correct(const Undra::DwtExecutor& executor, const LevelLayout& layout,
                                   float multiplier, float threshold, const BoundTarget& target,
                                   std::span<int16_t> coefficients, Workspace& ws) {
    // The residual at the samples out of bound only, so the coefficients that change are those
    // reaching them; ws.residual holds zeros elsewhere.
    for (const std::size_t i : ws.outside) {
        ws.residual[i] = target.normalized[i] - ws.reconstruction[i];
    }
    // Odd levels write their approximations over the residual, which level 0 has read by then.
    Undra::LevelAnalysis analysis(executor, ws.residual, ws.approximations, ws.residual,
                                  ws.details);
    std::size_t changed = 0;
    for (std::size_t level = 0; level < layout.sizes.size(); ++level) {
        const auto status = analysis.next();
        if (!status) return std::unexpected(KestovaError::transform(status.error().message()));
        changed += add_corrections(
            analysis.details(), multiplier, threshold,
            coefficients.subspan(layout.details_offset(level), layout.sizes[level].details_length));
    }
    changed += add_corrections(analysis.approximations(layout.sizes.size() - 1), multiplier,
                               threshold, coefficients.first(layout.approximations));
    // Back to zeros: the samples set above and what odd levels wrote at the front.
    for (const std::size_t i : ws.outside) ws.residual[i] = 0.0f;
    if (layout.sizes.size() > 1) {
        std::fill_n(ws.residual.begin(), layout.sizes[1].approximations_length, 0.0f);
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
    const float multiplier = std::ldexp(1.0f, scale);
    Workspace ws;
    ws.dequantized.resize(layout.coefficients());
    ws.decoded.resize(target.samples.size());
    LoopOutcome outcome;
    float threshold = kFirstThreshold;
    std::size_t fewest_outside = SIZE_MAX;
    std::size_t idle_rounds = 0;
    while (true) {
        const auto decoded =
            decode(executor, layout, transform_length, scale, target, coefficients, ws);
        if (!decoded) return std::unexpected(decoded.error());
        ++outcome.rounds;
        outcome.max_error = find_outside(target, ws);
        if (ws.outside.empty()) {
            outcome.met = true;
            return outcome;
        }
        if (ws.outside.size() < fewest_outside) {
            fewest_outside = ws.outside.size();
            idle_rounds = 0;
        } else if (++idle_rounds >= kMaxIdleRounds) {
            return outcome;
        }
        if (outcome.rounds >= kMaxRounds) return outcome;
        if (ws.residual.empty()) {
            const Undra::DwtSize first = executor.dwt_size(transform_length);
            ws.residual.resize(transform_length);
            ws.approximations.resize(first.approximations_length);
            ws.details.resize(first.details_length);
        }
        while (true) {
            const auto changed =
                correct(executor, layout, multiplier, threshold, target, coefficients, ws);
            if (!changed) return std::unexpected(changed.error());
            if (*changed > 0) break;
            if (threshold <= kSmallestThreshold) return outcome;
            threshold = std::max(kSmallestThreshold, threshold * kThresholdFall);
        }
    }
}

}  // namespace kestova
