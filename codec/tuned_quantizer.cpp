#include "codec/tuned_quantizer.h"

#include <algorithm>
#include <cmath>

#include "codec/quantize.h"

namespace kestova {

namespace {

// Products at or beyond these round outside the int16 range.
constexpr float kRoundsAbove = 32767.5f;
constexpr float kRoundsBelow = -32768.5f;

}  // namespace

uint8_t bounded_scale(double fraction, CompressionMethod method, const TunedRule& rule) {
    if (!(fraction > 0.0)) return kMaxScale;
    const double steps = rule.steps_reached[static_cast<std::size_t>(method)];
    const double scale = std::ceil(std::log2(steps / fraction));
    return static_cast<uint8_t>(std::clamp<double>(scale, kMinScale, kMaxScale));
}

BoundedLattice bounded_lattice(double fraction, CompressionMethod method, const TunedRule& rule) {
    BoundedLattice lattice;
    if (!(fraction > 0.0)) return lattice;
    const double step = fraction / rule.steps_reached[static_cast<std::size_t>(method)];
    const double coarsest = std::ceil(-std::log2(step));
    lattice.scale = static_cast<uint8_t>(
        std::clamp<double>(coarsest + rule.lattice_finer, kMinScale, kMaxScale));
    // Whole scale steps within the lattice step (at least one; at most what keeps a lattice
    // point inside the int16 range meaningful).
    const double steps = std::ldexp(step, lattice.scale);
    for (std::size_t k = 0; k < lattice.steps.size(); ++k) {
        lattice.steps[k] = static_cast<uint16_t>(
            std::clamp(std::floor(steps * rule.level_share[k]), 1.0, 4096.0));
    }
    lattice.approximation_step = static_cast<uint16_t>(
        std::clamp(std::floor(steps * rule.approximation_share), 1.0, 4096.0));
    return lattice;
}

std::vector<BoundedLattice> lattices_to_try(const BoundedLattice& first) {
    std::vector<BoundedLattice> lattices{first};
    BoundedLattice halved = first;
    bool finer = false;
    halved.approximation_step = static_cast<uint16_t>(std::max(1, halved.approximation_step / 2));
    for (uint16_t& step : halved.steps) {
        if (step > 1) {
            step = static_cast<uint16_t>(step / 2);
            finer = true;
        }
    }
    if (!finer && halved.scale < kMaxScale) {
        halved.scale = static_cast<uint8_t>(halved.scale + 1);
        finer = true;
    }
    if (finer) lattices.push_back(halved);
    const BoundedLattice finest;
    if (!(lattices.back() == finest)) lattices.push_back(finest);
    return lattices;
}

bool quantize_lattice(std::span<const float> in, float multiplier, uint16_t step, float zero_below,
                      std::span<int16_t> out) {
    if (step <= 1) return quantize_nearest(in, multiplier, zero_below, out);
    const float per_step = multiplier / static_cast<float>(step);
    const float limit = 32768.0f / static_cast<float>(step) + 1.0f;
    const auto lattice_step = static_cast<int32_t>(step);
    uint32_t clamped = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        float p = in[i] * per_step;
        p = p == p ? p : 0.0f;
        const float c = std::clamp(p, -limit, limit);
        const int32_t q = static_cast<int32_t>(c + std::copysign(0.5f, c)) * lattice_step;
        clamped |= static_cast<uint32_t>(q > INT16_MAX) | static_cast<uint32_t>(q < INT16_MIN);
        const int32_t kept = std::clamp<int32_t>(q, INT16_MIN, INT16_MAX);
        out[i] = static_cast<int16_t>(std::fabs(in[i] * multiplier) < zero_below ? 0 : kept);
    }
    return clamped != 0;
}

bool quantize_nearest(std::span<const float> in, float multiplier, float zero_below,
                      std::span<int16_t> out) {
    const float* src = in.data();
    int16_t* dst = out.data();
    // Branch-free, with the clamp noted in an integer so that the loop vectorises.
    uint32_t clamped = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        float p = src[i] * multiplier;
        p = p == p ? p : 0.0f;
        clamped |=
            static_cast<uint32_t>(p >= kRoundsAbove) | static_cast<uint32_t>(p <= kRoundsBelow);
        float c = p < -32768.0f ? -32768.0f : p;
        c = c > 32767.0f ? 32767.0f : c;
        const auto q = static_cast<int32_t>(c + std::copysign(0.5f, c));
        dst[i] = static_cast<int16_t>(std::fabs(p) < zero_below ? 0 : q);
    }
    return clamped != 0;
}

bool nearest_would_clamp(std::span<const float> in, float multiplier) {
    uint32_t clamped = 0;
    for (const float v : in) {
        const float p = v * multiplier;
        clamped |=
            static_cast<uint32_t>(p >= kRoundsAbove) | static_cast<uint32_t>(p <= kRoundsBelow);
    }
    return clamped != 0;
}

TunedQuantizer::TunedQuantizer(uint8_t scale, CutoffLevel cutoff, const TunedRule& rule)
    : multiplier_(std::ldexp(1.0f, scale)), zero_below_(rule.dead_zone) {
    const int32_t threshold = cutoff_threshold(scale, cutoff);
    const float cutoff_zone =
        threshold >= 1 ? static_cast<float>(threshold) - rule.cutoff_offset : 0.0f;
    for (float& zone : zero_below_) zone = std::max(zone, cutoff_zone);
}

TunedQuantizer TunedQuantizer::bounded(const BoundedLattice& lattice, const TunedRule& rule) {
    TunedQuantizer quantizer(std::ldexp(1.0f, lattice.scale), rule.bounded_dead_zone);
    quantizer.steps_ = lattice.steps;
    quantizer.approximation_step_ = lattice.approximation_step;
    for (std::size_t k = 0; k < quantizer.zero_below_.size(); ++k) {
        quantizer.zero_below_[k] *= static_cast<float>(lattice.steps[k]);
    }
    return quantizer;
}

bool TunedQuantizer::details(std::size_t level, std::span<const float> in,
                             std::span<int16_t> out) const {
    const std::size_t entry = std::min(level, zero_below_.size() - 1);
    return quantize_lattice(in, multiplier_, steps_[entry], zero_below_[entry], out);
}

bool TunedQuantizer::approximations(std::span<const float> in, std::span<int16_t> out) const {
    return quantize_lattice(in, multiplier_, approximation_step_, 0.0f, out);
}

bool TunedQuantizer::approximations_would_clamp(std::span<const float> in) const {
    return nearest_would_clamp(in, multiplier_);
}

}  // namespace kestova
