#include "codec/tuned/bound_loop.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "codec/quantize.h"
#include "codec/reconstruct.h"
#include "codec/uninit_buffer.h"
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

// Corrections scan the residual's coefficients in blocks of this many; a block is looked at
// closely when some |value| reaches the threshold over the multiplier, less a little for the
// rounding of that quotient.
constexpr std::size_t kCorrectionBlock = 64;
constexpr float kSkipSlack = 1.0f - 0x1p-12f;

// True when some |values[i]| >= limit (NaN counts as reaching it).
bool reaches(std::span<const float> values, float limit) {
    uint32_t hits = 0;
    for (const float v : values) hits |= static_cast<uint32_t>(!(std::fabs(v) < limit));
    return hits != 0;
}

// Marks the screening blocks whose samples a changed coefficient reaches.
struct DirtyBlocks {
    std::span<uint8_t> blocks;  // one per kScreenBlock samples
    std::size_t samples;        // the samples screened

    // Marks the samples within `radius` of `centre`, wrapping around the ends as the periodic
    // extension does.
    void mark(std::size_t centre, std::size_t radius) const {
        if (2 * radius + 1 >= samples) {
            std::fill(blocks.begin(), blocks.end(), uint8_t{1});
            return;
        }
        const auto n = static_cast<std::ptrdiff_t>(samples);
        const auto c = static_cast<std::ptrdiff_t>(centre % samples);
        const auto r = static_cast<std::ptrdiff_t>(radius);
        mark_range(std::max<std::ptrdiff_t>(0, c - r), std::min(n, c + r + 1));
        if (c - r < 0) mark_range(n + (c - r), n);
        if (c + r + 1 > n) mark_range(0, c + r + 1 - n);
    }

    void mark_range(std::ptrdiff_t from, std::ptrdiff_t to) const {
        const auto block = static_cast<std::ptrdiff_t>(kScreenBlock);
        for (std::ptrdiff_t b = from / block; b * block < to; ++b) blocks[b] = 1;
    }
};

// Quantised coefficients and their dequantised values (q / multiplier), kept equal, with what
// one of them reaches: coefficient j of the view lies near sample j * stride and reaches `radius`
// samples either side.
struct CoefficientView {
    std::span<int16_t> q;
    std::span<float> dequantized;
    std::size_t stride;
    std::size_t radius;
    const DirtyBlocks* dirty;
};

std::size_t add_block_corrections(std::span<const float> residual, float multiplier,
                                  float threshold, std::size_t start, std::size_t end,
                                  CoefficientView c);

// Adds the rounded coefficients `residual` * multiplier whose magnitude reaches `threshold` (at
// least one step each) to `c.q`, saturating, and dequantises what changed; returns how many
// changed.
std::size_t add_corrections(std::span<const float> residual, float multiplier, float threshold,
                            CoefficientView c) {
    std::size_t changed = 0;
    // The residual is zero away from the samples out of bound: blocks without a product at the
    // threshold are passed over by a scan that vectorises.
    const float below = threshold / multiplier * kSkipSlack;
    for (std::size_t start = 0; start < residual.size(); start += kCorrectionBlock) {
        const std::size_t end = std::min(residual.size(), start + kCorrectionBlock);
        if (!reaches(residual.subspan(start, end - start), below)) continue;
        changed += add_block_corrections(residual, multiplier, threshold, start, end, c);
    }
    return changed;
}

// add_corrections over residual[start, end).
std::size_t add_block_corrections(std::span<const float> residual, float multiplier,
                                  float threshold, std::size_t start, std::size_t end,
                                  CoefficientView c) {
    // A power of two, so this is dequantize's factor exactly.
    const float factor = 1.0f / multiplier;
    std::size_t changed = 0;
    for (std::size_t j = start; j < end; ++j) {
        const float p = residual[j] * multiplier;
        if (!(std::fabs(p) >= threshold)) continue;
        const float magnitude = std::max(1.0f, std::floor(std::fabs(p) + 0.5f));
        const int32_t step = static_cast<int32_t>(std::copysign(magnitude, p));
        const int32_t sum = std::clamp<int32_t>(c.q[j] + step, INT16_MIN, INT16_MAX);
        if (sum != c.q[j]) {
            c.q[j] = static_cast<int16_t>(sum);
            c.dequantized[j] = static_cast<float>(c.q[j]) * factor;
            c.dirty->mark(j * c.stride, c.radius);
            ++changed;
        }
    }
    return changed;
}

// The loop's working memory, kept from round to round.
struct Workspace {
    UninitBuffer<float> dequantized;
    std::vector<float> reconstruction;
    std::vector<float> spare;
    std::span<float> residual;  // the target's scratch; zeros between corrections
    // The residual's first approximations: in `spare` (free between reconstructions) when it is
    // long enough, else in their own memory.
    std::size_t approximations_length = 0;
    UninitBuffer<float> own_approximations;
    // The residual's first details, in `reconstruction` (read at the samples out of bound before
    // the analysis starts, and made again by the next decode) when it is long enough.
    std::size_t details_length = 0;
    UninitBuffer<float> own_details;
    std::vector<uint32_t> outside;  // sample indices (a container holds fewer than 2^31)
    // Per screening block: whether its samples may have changed since it was last screened, and
    // the largest error found then.
    std::vector<uint8_t> dirty;
    std::vector<double> block_worst;
};

// Decodes `coefficients` (dequantised into ws.dequantized first when `dequantize_all`; the
// corrections keep it current after that) into ws.reconstruction (normalised, as the decoder's
// synthesis leaves it; find_outside denormalises).
KestovaResult<void> decode(const Undra::DwtExecutor& executor, const LevelLayout& layout,
                           std::size_t transform_length, uint8_t scale,
                           std::span<const int16_t> coefficients, bool dequantize_all,
                           Workspace& ws) {
    if (dequantize_all) {
        dequantize(std::span(reinterpret_cast<const uint8_t*>(coefficients.data()),
                             ws.dequantized.size() * sizeof(int16_t)),
                   std::ldexp(1.0f, -static_cast<int>(scale)), ws.dequantized.span());
    }
    const auto status = reconstruct_into(executor, layout, transform_length, ws.dequantized.span(),
                                         ws.reconstruction, ws.spare);
    if (!status) return std::unexpected(KestovaError::transform(status.error().message()));
    return {};
}

// Denormalises ws.reconstruction block by block as the decoder does, fills ws.outside with the
// samples beyond the bound and returns the largest error. With `only_dirty`, blocks that no
// changed coefficient reaches keep the result of their last screen.
double find_outside(const BoundTarget& target, bool only_dirty, Workspace& ws) {
    const std::size_t n = target.samples.size();
    const float screen = static_cast<float>(target.bound * kScreenSlack);
    ws.outside.clear();
    std::array<float, kScreenBlock> decoded;
    for (std::size_t start = 0; start < n; start += kScreenBlock) {
        const std::size_t end = std::min(n, start + kScreenBlock);
        double& worst = ws.block_worst[start / kScreenBlock];
        if (only_dirty && ws.dirty[start / kScreenBlock] == 0) continue;
        worst = 0.0;
        const std::span<float> block = std::span(decoded).first(end - start);
        std::copy_n(ws.reconstruction.begin() + static_cast<std::ptrdiff_t>(start), block.size(),
                    block.begin());
        denormalize(block, target.mean, target.range);
        float block_worst = 0.0f;
        for (std::size_t i = start; i < end; ++i) {
            const float error = std::fabs(block[i - start] - target.samples[i]);
            block_worst = block_worst < error ? error : block_worst;
        }
        if (block_worst < screen) {
            worst = std::max(worst, static_cast<double>(block_worst));
            continue;
        }
        for (std::size_t i = start; i < end; ++i) {
            const double error = std::fabs(static_cast<double>(block[i - start]) -
                                           static_cast<double>(target.samples[i]));
            worst = std::max(worst, error);
            if (error > target.bound) ws.outside.push_back(static_cast<uint32_t>(i));
        }
    }
    return *std::max_element(ws.block_worst.begin(), ws.block_worst.end());
}

// Adds to `coefficients` the quantised analysis of the residual at the samples outside; returns
// how many coefficients changed.
KestovaResult<std::size_t> correct(const Undra::DwtExecutor& executor, const LevelLayout& layout,
                                   float multiplier, float threshold, const BoundTarget& target,
                                   std::span<int16_t> coefficients, Workspace& ws) {
    // The residual at the samples out of bound only, so the coefficients that change are those
    // reaching them; ws.residual holds zeros elsewhere.
    for (const std::size_t i : ws.outside) {
        ws.residual[i] =
            normalized_sample(target.samples[i], target.range, target.mean) - ws.reconstruction[i];
    }
    // Odd levels write their approximations over the residual, which level 0 has read by then.
    const std::span<float> approximations =
        ws.own_approximations.size() > 0
            ? ws.own_approximations.span()
            : std::span<float>(ws.spare).first(ws.approximations_length);
    const std::span<float> details =
        ws.own_details.size() > 0 ? ws.own_details.span()
                                  : std::span<float>(ws.reconstruction).first(ws.details_length);
    Undra::LevelAnalysis analysis(executor, ws.residual, approximations, ws.residual, details);
    // A coefficient of level l lies near sample j * 2^(l+1); its synthesis reaches about
    // filter_length * 2^l samples either side, and padded filter banks shift it by as much again:
    // twice that, rounded up, covers both.
    const DirtyBlocks dirty{ws.dirty, target.samples.size()};
    const std::size_t reach = executor.filter_length() + 2;
    std::size_t changed = 0;
    for (std::size_t level = 0; level < layout.sizes.size(); ++level) {
        const auto status = analysis.next();
        if (!status) return std::unexpected(KestovaError::transform(status.error().message()));
        const std::size_t offset = layout.details_offset(level);
        const std::size_t length = layout.sizes[level].details_length;
        const std::size_t stride = std::size_t{2} << level;
        changed += add_corrections(analysis.details(), multiplier, threshold,
                                   {.q = coefficients.subspan(offset, length),
                                    .dequantized = ws.dequantized.span().subspan(offset, length),
                                    .stride = stride,
                                    .radius = reach * stride,
                                    .dirty = &dirty});
    }
    const std::size_t stride = std::size_t{1} << layout.sizes.size();
    changed +=
        add_corrections(analysis.approximations(layout.sizes.size() - 1), multiplier, threshold,
                        {.q = coefficients.first(layout.approximations),
                         .dequantized = ws.dequantized.span().first(layout.approximations),
                         .stride = stride,
                         .radius = reach * stride,
                         .dirty = &dirty});
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
    // Nothing reads the scratch before the residual is made in it: its memory goes back meanwhile.
    release_pages(target.scratch.data(), target.scratch.size_bytes());
    Workspace ws;
    ws.dequantized = UninitBuffer<float>(layout.coefficients());
    const std::size_t blocks = (target.samples.size() + kScreenBlock - 1) / kScreenBlock;
    ws.dirty.assign(blocks, 1);
    ws.block_worst.assign(blocks, 0.0);
    // Reserved whole, so the list never reallocates (copies beside copies); the pages of the
    // reservation take memory only as indices are written to them.
    ws.outside.reserve(target.samples.size());
    LoopOutcome outcome;
    float threshold = kFirstThreshold;
    std::size_t fewest_outside = SIZE_MAX;
    std::size_t idle_rounds = 0;
    // After the first round only the blocks that corrections reach are screened; a round that
    // finds them all within is confirmed by screening every block, and so is the error reported
    // when the loop gives up.
    bool partial = false;
    const auto give_up = [&] {
        if (partial) outcome.max_error = find_outside(target, false, ws);
        return outcome;
    };
    while (true) {
        const auto decoded = decode(executor, layout, transform_length, scale, coefficients,
                                    outcome.rounds == 0, ws);
        if (!decoded) return std::unexpected(decoded.error());
        ++outcome.rounds;
        outcome.max_error = find_outside(target, partial, ws);
        if (ws.outside.empty() && partial) {
            partial = false;
            outcome.max_error = find_outside(target, false, ws);
        }
        if (ws.outside.empty()) {
            outcome.met = true;
            return outcome;
        }
        if (ws.outside.size() < fewest_outside) {
            fewest_outside = ws.outside.size();
            idle_rounds = 0;
        } else if (++idle_rounds >= kMaxIdleRounds) {
            return give_up();
        }
        if (outcome.rounds >= kMaxRounds) return give_up();
        if (ws.residual.size() == 0) {
            const Undra::DwtSize first = executor.dwt_size(transform_length);
            ws.residual = target.scratch.first(transform_length);
            // Zeros that take memory only where the corrections write.
            zero_releasing(ws.residual);
            ws.approximations_length = first.approximations_length;
            if (ws.spare.size() < first.approximations_length) {
                ws.own_approximations = UninitBuffer<float>(first.approximations_length);
            }
            ws.details_length = first.details_length;
            if (ws.reconstruction.size() < first.details_length) {
                ws.own_details = UninitBuffer<float>(first.details_length);
            }
        }
        // Samples still out stay under watch; corrections mark what they reach.
        std::fill(ws.dirty.begin(), ws.dirty.end(), uint8_t{0});
        for (const std::size_t i : ws.outside) ws.dirty[i / kScreenBlock] = 1;
        partial = true;
        while (true) {
            const auto changed =
                correct(executor, layout, multiplier, threshold, target, coefficients, ws);
            if (!changed) return std::unexpected(changed.error());
            if (*changed > 0) break;
            // The analysis wrote over the reconstruction: made again (no coefficient changed).
            const auto again =
                decode(executor, layout, transform_length, scale, coefficients, false, ws);
            if (!again) return std::unexpected(again.error());
            if (threshold <= kSmallestThreshold) return give_up();
            threshold = std::max(kSmallestThreshold, threshold * kThresholdFall);
        }
    }
}

}  // namespace kestova
