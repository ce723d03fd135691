// The closed loop of error-bounded encoding: reconstruct the quantised coefficients as a decoder
// would, find the samples beyond the bound, and correct only the coefficients that reach them
// (the quantised forward transform of the residual at those samples), until every sample is in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/error.h"
#include "codec/level_layout.h"
#include "codec/normalize.h"
#include "engine/executor.h"

namespace kestova {

// What the reconstruction is held to.
struct BoundTarget {
    std::span<const float> samples;  // the input samples (finite)
    SampleRange range;               // and the range and mean they were normalised by
    float mean;
    std::span<float> scratch;  // transform length, free for the loop (the analysed signal)
    double bound;              // absolute, in the samples' units, any margin already taken off
};

struct LoopOutcome {
    bool met = false;
    double max_error = 0.0;  // of the last reconstruction, in the samples' units
    std::size_t rounds = 0;  // reconstructions made
};

// Corrects `coefficients`, the sequence of `layout` quantised at `scale`, in place; stops when
// every sample meets the bound or when further rounds stop paying.
KestovaResult<LoopOutcome> correct_within(const Undra::DwtExecutor& executor,
                                          const LevelLayout& layout, std::size_t transform_length,
                                          uint8_t scale, const BoundTarget& target,
                                          std::span<int16_t> coefficients);

// The largest |decoded - sample| over the samples, in double precision.
double max_abs_error(std::span<const float> decoded, std::span<const float> samples);

}  // namespace kestova
