#include "codec/level_quantizer.h"

#include <cmath>

#include "codec/quantize.h"

namespace kestova {

ReferenceQuantizer::ReferenceQuantizer(uint8_t scale, CutoffLevel cutoff)
    : ReferenceQuantizer(std::ldexp(1.0f, scale), cutoff_threshold(scale, cutoff)) {}

bool ReferenceQuantizer::details(std::size_t, std::span<const float> in,
                                 std::span<int16_t> out) const {
    return quantize(in, multiplier_, threshold_, out);
}

bool ReferenceQuantizer::approximations(std::span<const float> in, std::span<int16_t> out) const {
    return quantize(in, multiplier_, 0, out);
}

bool ReferenceQuantizer::approximations_would_clamp(std::span<const float> in) const {
    return quantize_would_clamp(in, multiplier_);
}

}  // namespace kestova
