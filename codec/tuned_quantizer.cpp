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

TunedQuantizer TunedQuantizer::bounded(uint8_t scale, const TunedRule& rule) {
    return TunedQuantizer(std::ldexp(1.0f, scale), rule.bounded_dead_zone);
}

bool TunedQuantizer::details(std::size_t level, std::span<const float> in,
                             std::span<int16_t> out) const {
    const float zone = zero_below_[std::min(level, zero_below_.size() - 1)];
    return quantize_nearest(in, multiplier_, zone, out);
}

bool TunedQuantizer::approximations(std::span<const float> in, std::span<int16_t> out) const {
    return quantize_nearest(in, multiplier_, 0.0f, out);
}

bool TunedQuantizer::approximations_would_clamp(std::span<const float> in) const {
    return nearest_would_clamp(in, multiplier_);
}

}  // namespace kestova
