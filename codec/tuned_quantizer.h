// The tuned encoder's coefficient rule: round to nearest, with a dead zone per level below which
// a detail becomes 0, and the cutoff applied to the rounded value as the reference applies it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

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
    // Error-bounded encoding quantises details on a lattice whose step is the bound divided by
    // this: the steps of max error the closed loop reliably comes down to, per method code
    // (CDF 5/3's synthesis reaches further, so its loop ends higher).
    std::array<double, 4> steps_reached;
    // The lattice lies on the scale this many powers of two finer than the coarsest scale whose
    // step is within the lattice step (never beyond the finest scale), so that its step, a whole
    // number of scale steps, comes within a few percent of the one asked for.
    uint8_t lattice_finer;
    // The approximations' lattice step as a share of the details' one.
    double approximation_share;
    // Each detail level's lattice step as a share of the lattice step (entries as dead_zone).
    std::array<double, kZones> level_share;
};

inline constexpr TunedRule kTunedRule{
    .dead_zone = {0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f},
    .bounded_dead_zone = {1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f},
    .cutoff_offset = 0.5f,
    .steps_reached = {2.5, 1.25, 1.25, 1.25},
    .lattice_finer = 3,
    .approximation_share = 1.0,
    .level_share = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0},
};

// Where error-bounded encoding quantises: the container's scale, and per detail level (entry k
// for level k, the last for every deeper level) the lattice step in scale steps; a detail
// becomes a multiple of its level's step, approximations stay on every scale step.
struct BoundedLattice {
    uint8_t scale = kMaxScale;
    std::array<uint16_t, TunedRule::kZones> steps{1, 1, 1, 1, 1, 1, 1, 1};
    uint16_t approximation_step = 1;
    bool operator==(const BoundedLattice&) const = default;
};

// The coarsest scale at which the closed loop should meet a bound of `fraction` of the range
// with `method`.
uint8_t bounded_scale(double fraction, CompressionMethod method,
                      const TunedRule& rule = kTunedRule);

// The lattice on which the closed loop should meet a bound of `fraction` of the range with
// `method`: a step of fraction / steps_reached (at least one step of the finest scale).
BoundedLattice bounded_lattice(double fraction, CompressionMethod method,
                               const TunedRule& rule = kTunedRule);

// The lattices error-bounded encoding tries in turn: `first`, one with half its step, and the
// finest scale with unit steps, without repeats, so a bound is only called unreachable when the
// finest scale missed it.
std::vector<BoundedLattice> lattices_to_try(const BoundedLattice& first);

// out[i] = round-half-away(clamp(in[i] * multiplier)), NaN -> 0, then 0 when |in[i] * multiplier|
// < zero_below; true when some rounded product lies outside the int16 range.
bool quantize_nearest(std::span<const float> in, float multiplier, float zero_below,
                      std::span<int16_t> out);

// out[i] = step * round-half-away(in[i] * multiplier / step), clamped to int16, NaN -> 0, then 0
// when |in[i] * multiplier| < zero_below; true when some value had to be clamped. A step of 1 is
// quantize_nearest.
bool quantize_lattice(std::span<const float> in, float multiplier, uint16_t step, float zero_below,
                      std::span<int16_t> out);

// True when quantize_nearest(in, multiplier, ...) would clamp; writes nothing.
bool nearest_would_clamp(std::span<const float> in, float multiplier);

// The tuned rule at one scale: per-level zero thresholds, fixed or bounded.
class TunedQuantizer final : public LevelQuantizer {
  public:
    // Fixed-scale encoding with the reference's `cutoff` levels.
    TunedQuantizer(uint8_t scale, CutoffLevel cutoff, const TunedRule& rule = kTunedRule);
    // Error-bounded encoding on `lattice`: the bounded dead zones (in lattice steps), no cutoff.
    static TunedQuantizer bounded(const BoundedLattice& lattice,
                                  const TunedRule& rule = kTunedRule);

    bool details(std::size_t level, std::span<const float> in,
                 std::span<int16_t> out) const override;
    bool approximations(std::span<const float> in, std::span<int16_t> out) const override;
    bool approximations_would_clamp(std::span<const float> in) const override;

  private:
    TunedQuantizer(float multiplier, const std::array<float, TunedRule::kZones>& zero_below)
        : multiplier_(multiplier), zero_below_(zero_below) {}

    float multiplier_;
    std::array<float, TunedRule::kZones> zero_below_;  // in scale steps
    std::array<uint16_t, TunedRule::kZones> steps_{1, 1, 1, 1, 1, 1, 1, 1};
    uint16_t approximation_step_ = 1;
};

}  // namespace kestova
