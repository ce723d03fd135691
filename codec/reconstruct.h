// The inverse of a decomposition laid out as a container's coefficient sequence: what the decoder
// reconstructs, and what an encoder checks its coefficients against.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "codec/level_layout.h"
#include "engine/executor.h"

namespace kestova {

// The inverse of the decomposition whose dequantised coefficient sequence is `coefficients`. For
// chains the compressor can produce it runs one synthesis step per level through two reused
// buffers, each reconstruction cut to the next finer approximation's length; any other chain goes
// to multi_idwt, so its errors are the engine's own.
Undra::UndraResult<std::vector<float>> reconstruct(const Undra::DwtExecutor& executor,
                                                   const LevelLayout& layout,
                                                   std::size_t transform_length,
                                                   std::span<const float> coefficients);

// The same for coefficients the caller no longer needs afterwards: the memory of those only the
// coarser levels read is given back before the finest level runs.
Undra::UndraResult<std::vector<float>> reconstruct_consuming(const Undra::DwtExecutor& executor,
                                                             const LevelLayout& layout,
                                                             std::size_t transform_length,
                                                             std::span<float> coefficients);

// The same into `result`, reusing its memory and that of `spare` (working storage) from call to
// call, as a loop of reconstructions does.
Undra::UndraStatus reconstruct_into(const Undra::DwtExecutor& executor, const LevelLayout& layout,
                                    std::size_t transform_length,
                                    std::span<const float> coefficients, std::vector<float>& result,
                                    std::vector<float>& spare);

}  // namespace kestova
