// The method choice of error-bounded encoding when the caller leaves it open: the method whose
// tuned coefficients promise the fewest coded bits, estimated on excerpts of the signal.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "codec/options.h"
#include "codec/tuned/tuned_quantizer.h"
#include "engine/util.h"

namespace kestova {

// Every method for the normalised samples `normalized` under a bound of `fraction` of the
// range, fewest estimated bits first, each quantised by the bounded rule at the scale it would
// start from.
std::vector<CompressionMethod> rank_methods(std::span<const float> normalized, double fraction,
                                            const TunedRule& rule, std::optional<Undra::Isa> isa);

// Order-0 entropy in bits of each stretch of `values` between consecutive `bounds`.
double estimated_bits(std::span<const int16_t> values, std::span<const std::size_t> bounds);

}  // namespace kestova
