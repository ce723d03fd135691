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

bool quantize_nearest(std::span<const float> in, float multiplier, float zero_below,
                      std::span<int16_t> out) {
    const float* src = in.data();
    int16_t* dst = out.data();
    bool clamped = false;
    for (std::size_t i = 0; i < in.size(); ++i) {
        float p = src[i] * multiplier;
        p = p == p ? p : 0.0f;
        clamped |= p >= kRoundsAbove || p <= kRoundsBelow;
        const float c = std::clamp(p, -32768.0f, 32767.0f);
        const auto q = static_cast<int32_t>(c + (c < 0.0f ? -0.5f : 0.5f));
        dst[i] = std::fabs(p) < zero_below ? int16_t{0} : static_cast<int16_t>(q);
    }
    return clamped;
}

bool nearest_would_clamp(std::span<const float> in, float multiplier) {
    bool clamped = false;
    for (const float v : in) {
        const float p = v * multiplier;
        clamped |= p >= kRoundsAbove || p <= kRoundsBelow;
    }
    return clamped;
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
