#include "codec/decompose.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "codec/uninit_buffer.h"
#include "engine/level_analysis.h"

namespace kestova {

KestovaResult<std::size_t> decompose_and_quantize(const Undra::DwtExecutor& executor,
                                                  const LevelLayout& layout,
                                                  std::span<float> signal,
                                                  const LevelQuantizer& quantizer,
                                                  std::span<int16_t> coefficients) {
    const std::size_t planned = layout.sizes.size();
    const UninitBuffer<float> approximations(layout.sizes.front().approximations_length);
    const UninitBuffer<float> details(layout.sizes.front().details_length);
    // Even levels write their approximations into `approximations`, odd ones into the signal,
    // which level 0 has read by then; approximation lengths only shrink from level to level.
    Undra::LevelAnalysis analysis(executor, signal, approximations.span(), signal, details.span());
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
        const auto status = analysis.next();
        if (!status) return std::unexpected(KestovaError::transform(status.error().message()));
        const std::span<float> output = analysis.approximations(level);
        const std::span<float> level_details = analysis.details();
        if (quantizer.details(
                level, level_details,
                coefficients.subspan(layout.details_offset(level), level_details.size()))) {
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
