// Level-by-level analysis of the working signal, quantised straight into the coefficient
// sequence, with the level count cut back where quantisation would clamp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/error.h"
#include "codec/level_layout.h"
#include "codec/level_quantizer.h"
#include "engine/executor.h"

namespace kestova {

// Analyses `signal` (overwritten) over at most `layout`'s levels into `coefficients` (sized for
// `layout`) and returns the level count used: the largest L for which no detail of levels 0..L-1
// nor approximation of level L-1 clamps (1 when there is none), with the first
// layout.first_levels(L).coefficients() values laid out for L levels. `quantizer` chooses the
// integers.
KestovaResult<std::size_t> decompose_and_quantize(const Undra::DwtExecutor& executor,
                                                  const LevelLayout& layout,
                                                  std::span<float> signal,
                                                  const LevelQuantizer& quantizer,
                                                  std::span<int16_t> coefficients);

// The same with the reference rule (ReferenceQuantizer(multiplier, threshold)).
KestovaResult<std::size_t> decompose_and_quantize(const Undra::DwtExecutor& executor,
                                                  const LevelLayout& layout,
                                                  std::span<float> signal, float multiplier,
                                                  int32_t threshold,
                                                  std::span<int16_t> coefficients);

}  // namespace kestova
