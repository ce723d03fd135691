// The tuned encoder's coefficient rule: round to nearest, with a dead zone per level below which
// a detail becomes 0, and the cutoff applied to the rounded value as the reference applies it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/level_quantizer.h"
#include "codec/options.h"

namespace kestova {

// Dead zones are in quantisation steps (|coefficient| * 2^scale); entry k is for detail level k
// (0 the finest), the last entry for every deeper level. The values are the measured choice
// documented in docs/tuned-encoder.md.
struct TunedRule {
    static constexpr std::size_t kZones = 8;
    std::array<float, kZones> dead_zone;          // fixed-scale encoding
    std::array<float, kZones> bounded_dead_zone;  // error-bounded encoding (the loop corrects)
    // A detail whose rounded magnitude is below the reference cutoff T becomes 0, i.e. one
    // whose magnitude is below T - cutoff_offset steps (for T >= 1).
    float cutoff_offset;
    // Error-bounded encoding starts at the coarsest scale whose step times this is within the
    // bound: the steps of max error the closed loop reliably comes down to, per method code
    // (CDF 5/3's synthesis reaches further, so its loop ends higher).
    std::array<double, 4> steps_reached;
};

inline constexpr TunedRule kTunedRule{
    .dead_zone = {0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f},
    .bounded_dead_zone = {1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f},
    .cutoff_offset = 0.5f,
    .steps_reached = {2.5, 1.25, 1.25, 1.25},
};

// The coarsest scale at which the closed loop should meet a bound of `fraction` of the range
// with `method`.
uint8_t bounded_scale(double fraction, CompressionMethod method,
                      const TunedRule& rule = kTunedRule);

// out[i] = round-half-away(clamp(in[i] * multiplier)), NaN -> 0, then 0 when |in[i] * multiplier|
// < zero_below; true when some rounded product lies outside the int16 range.
bool quantize_nearest(std::span<const float> in, float multiplier, float zero_below,
                      std::span<int16_t> out);

// True when quantize_nearest(in, multiplier, ...) would clamp; writes nothing.
bool nearest_would_clamp(std::span<const float> in, float multiplier);

// The tuned rule at one scale: per-level zero thresholds, fixed or bounded.
class TunedQuantizer final : public LevelQuantizer {
  public:
    // Fixed-scale encoding with the reference's `cutoff` levels.
    TunedQuantizer(uint8_t scale, CutoffLevel cutoff, const TunedRule& rule = kTunedRule);
    // Error-bounded encoding: the bounded dead zones, no cutoff.
    static TunedQuantizer bounded(uint8_t scale, const TunedRule& rule = kTunedRule);

    bool details(std::size_t level, std::span<const float> in,
                 std::span<int16_t> out) const override;
    bool approximations(std::span<const float> in, std::span<int16_t> out) const override;
    bool approximations_would_clamp(std::span<const float> in) const override;

  private:
    TunedQuantizer(float multiplier, const std::array<float, TunedRule::kZones>& zero_below)
        : multiplier_(multiplier), zero_below_(zero_below) {}

    float multiplier_;
    std::array<float, TunedRule::kZones> zero_below_;
};

}  // namespace kestova
