#include "codec/decompose.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "codec/uninit_buffer.h"
#include "engine/level_analysis.h"

namespace kestova {

namespace {

// Details quantised over their own memory go through a copy of this many floats at a time.
constexpr std::size_t kOverlapBlock = 4096;

// The finest details as floats at the back of the coefficient sequence's memory (4-byte
// aligned), or nothing when they do not fit there. Their integers go to [offset, offset + length)
// and are written block by block from the first (see quantize_over); block [j, j + b) ends at
// offset + j + b, and the floats still unread start at start + 2 * (j + b), `start` being where
// the floats begin: so it suffices that offset <= start + b for the first block.
std::span<float> details_in_coefficients(std::span<int16_t> coefficients, std::size_t offset,
                                         std::size_t length) {
    static_assert(sizeof(float) == 2 * sizeof(int16_t) && alignof(float) <= 16);
    if (length == 0 || coefficients.size() / 2 < length) return {};
    const std::size_t start = (coefficients.size() - 2 * length) / 2 * 2;
    if (offset > start + std::min(length, kOverlapBlock)) return {};
    return {reinterpret_cast<float*>(coefficients.data() + start), length};
}

// quantizer.details(level, in, out) for `in` lying in the memory behind the start of `out`, as
// details_in_coefficients places it: each block is copied out before its integers are written.
// The quantisers work value by value, so the integers and the clamp verdict are the same.
bool quantize_over(const LevelQuantizer& quantizer, std::size_t level, std::span<const float> in,
                   std::span<int16_t> out) {
    std::array<float, kOverlapBlock> block;
    bool clamped = false;
    for (std::size_t start = 0; start < in.size(); start += kOverlapBlock) {
        const std::size_t count = std::min(kOverlapBlock, in.size() - start);
        std::memcpy(block.data(), in.data() + start, count * sizeof(float));
        clamped |= quantizer.details(level, std::span<const float>(block.data(), count),
                                     out.subspan(start, count));
    }
    return clamped;
}

// The largest details and odd-level approximations among levels 1 and on.
struct DeeperLevels {
    std::size_t details = 0;
    std::size_t odd_approximations = 0;
};

DeeperLevels deeper_levels(const LevelLayout& layout) {
    DeeperLevels deeper;
    for (std::size_t level = 1; level < layout.sizes.size(); ++level) {
        deeper.details = std::max(deeper.details, layout.sizes[level].details_length);
        if (level % 2 == 1) {
            deeper.odd_approximations =
                std::max(deeper.odd_approximations, layout.sizes[level].approximations_length);
        }
    }
    return deeper;
}

}  // namespace

KestovaResult<std::size_t> decompose_and_quantize(const Undra::DwtExecutor& executor,
                                                  const LevelLayout& layout,
                                                  std::span<float> signal,
                                                  const LevelQuantizer& quantizer,
                                                  std::span<int16_t> coefficients) {
    const std::size_t planned = layout.sizes.size();
    const UninitBuffer<float> approximations(layout.sizes.front().approximations_length);
    // Even levels write their approximations into `approximations`, odd ones into the signal,
    // which level 0 has read by then. Level 0's details go to the coefficients' memory and the
    // deeper levels' to the signal behind the odd levels' approximations, where they fit; what
    // does not fit gets memory of its own.
    const std::size_t first_details = layout.sizes.front().details_length;
    const std::span<float> in_coefficients =
        details_in_coefficients(coefficients, layout.details_offset(0), first_details);
    const DeeperLevels deeper = deeper_levels(layout);
    const bool deeper_in_signal = deeper.odd_approximations + deeper.details <= signal.size();
    const UninitBuffer<float> own_details(in_coefficients.empty() ? first_details
                                          : deeper_in_signal      ? 0
                                                                  : deeper.details);
    const std::span<float> deeper_details =
        deeper_in_signal ? signal.subspan(deeper.odd_approximations, deeper.details)
                         : own_details.span();
    Undra::LevelAnalysis analysis(executor, signal);
    // The level count to fall back on when a deeper level clamps, and the quantised
    // approximations of its last level once the buffer holding them is about to be reused.
    std::size_t fallback = 1;
    std::vector<int16_t> held;
    std::size_t level = 0;
    for (; level < planned; ++level) {
        if (level >= 2 && fallback == level - 1 && held.empty()) {
            held.resize(layout.sizes[level - 2].approximations_length);
            quantizer.approximations(analysis.approximations(level - 2), held);
        }
        const Undra::DwtSize size = analysis.next_size();
        const bool over = level == 0 && !in_coefficients.empty();
        const std::span<float> details_home = over         ? in_coefficients
                                              : level == 0 ? own_details.span()
                                                           : deeper_details;
        const std::span<float> approximations_home =
            level % 2 == 0 ? approximations.span() : signal;
        const auto status =
            analysis.next_into(approximations_home.first(size.approximations_length),
                               details_home.first(size.details_length));
        if (!status) return std::unexpected(KestovaError::transform(status.error().message()));
        const std::span<float> output = analysis.approximations(level);
        const std::span<float> level_details = analysis.details();
        const std::span<int16_t> level_out =
            coefficients.subspan(layout.details_offset(level), level_details.size());
        if (over ? quantize_over(quantizer, level, level_details, level_out)
                 : quantizer.details(level, level_details, level_out)) {
            break;  // no count above `level` is usable
        }
        const bool approximations_clamp =
            level + 1 == planned
                ? quantizer.approximations(output, coefficients.first(layout.approximations))
                : quantizer.approximations_would_clamp(output);
        if (!approximations_clamp) {
            fallback = level + 1;
            held.clear();
        }
    }
    if (level == planned && fallback == planned) return planned;

    // Re-lay the sequence for `fallback` levels: its details move up behind the (longer)
    // approximations of level fallback - 1, which go first.
    const LevelLayout used = layout.first_levels(fallback);
    std::memmove(coefficients.data() + used.approximations,
                 coefficients.data() + layout.approximations, used.details * sizeof(int16_t));
    const std::span<int16_t> used_approximations = coefficients.first(used.approximations);
    if (held.empty()) {
        quantizer.approximations(analysis.approximations(fallback - 1), used_approximations);
    } else {
        std::copy(held.begin(), held.end(), used_approximations.begin());
    }
    return fallback;
}

KestovaResult<std::size_t> decompose_and_quantize(const Undra::DwtExecutor& executor,
                                                  const LevelLayout& layout,
                                                  std::span<float> signal, float multiplier,
                                                  int32_t threshold,
                                                  std::span<int16_t> coefficients) {
    return decompose_and_quantize(executor, layout, signal,
                                  ReferenceQuantizer(multiplier, threshold), coefficients);
}

}  // namespace kestova
