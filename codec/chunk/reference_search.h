// The reference encoder held to an error bound: it has no closed loop, so it searches its
// settings, coarse to fine by scale first (6 to 12), then by cutoff (high, medium, low), each
// candidate decoded and judged. Bisection on the scale with cutoff low, then the coarser cutoffs
// at that scale: 3 to 6 compressions and as many decompressions. A candidate is judged against
// the bound less the tuned encoder's path margin, so a stream at its bound on this processor's
// path never decodes above it on another. The bytes of each candidate are compress()'s own.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.h"
#include "codec/options.h"

namespace kestova {

struct ReferenceOutcome {
    std::vector<uint8_t> container;  // empty when even the finest setting misses
    double max_error = 0.0;          // the chosen (or finest) candidate's, against the samples
};

// The coarsest setting for `options`' method and coder whose decoded samples differ from the
// finite `samples` by at most `held` (the margin already taken off).
KestovaResult<ReferenceOutcome> reference_within(std::span<const float> samples, double held,
                                                 CompressionOptions options);

}  // namespace kestova
