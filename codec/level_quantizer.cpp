#include "codec/level_quantizer.h"

#include <cmath>

namespace kestova {

ReferenceQuantizer::ReferenceQuantizer(uint8_t scale, CutoffLevel cutoff)
    : ReferenceQuantizer(std::ldexp(1.0f, scale), cutoff_threshold(scale, cutoff)) {}

}  // namespace kestova
