// How a decomposition's float coefficients become 16-bit integers, level by level: the one step
// in which the encoders differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/options.h"
#include "codec/quantize.h"

namespace kestova {

class LevelQuantizer {
  public:
    virtual ~LevelQuantizer() = default;
    // Quantises the details of `level` (0 the finest) into `out`; true when some value clamped.
    virtual bool details(std::size_t level, std::span<const float> in,
                         std::span<int16_t> out) const = 0;
    // Quantises the coarsest approximations into `out`; true when some value clamped.
    virtual bool approximations(std::span<const float> in, std::span<int16_t> out) const = 0;
    // True when approximations(in, ...) would clamp; writes nothing.
    virtual bool approximations_would_clamp(std::span<const float> in) const = 0;
};

// The reference encoder's rule: scale, truncate toward zero, zero details below the cutoff.
class ReferenceQuantizer final : public LevelQuantizer {
  public:
    ReferenceQuantizer(float multiplier, int32_t threshold)
        : multiplier_(multiplier), threshold_(threshold) {}
    ReferenceQuantizer(uint8_t scale, CutoffLevel cutoff);

    bool details(std::size_t, std::span<const float> in, std::span<int16_t> out) const override {
        return quantize(in, multiplier_, threshold_, out);
    }
    bool approximations(std::span<const float> in, std::span<int16_t> out) const override {
        return quantize(in, multiplier_, 0, out);
    }
    bool approximations_would_clamp(std::span<const float> in) const override {
        return quantize_would_clamp(in, multiplier_);
    }

  private:
    float multiplier_;
    int32_t threshold_;
};

}  // namespace kestova
