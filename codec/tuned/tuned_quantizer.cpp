#include "codec/tuned/tuned_quantizer.h"

#include <algorithm>
#include <cmath>

#include "codec/quantize.h"
#include "codec/sample_loops.h"

#if KESTOVA_SSE2_LOOPS
#include <emmintrin.h>
#endif

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

namespace {

// One value of quantize_nearest; sets `clamped` when its product rounds outside int16.
inline int16_t nearest_one(float x, float multiplier, float zero_below, uint32_t& clamped) {
    float p = x * multiplier;
    p = p == p ? p : 0.0f;
    clamped |= static_cast<uint32_t>(p >= kRoundsAbove) | static_cast<uint32_t>(p <= kRoundsBelow);
    float c = p < -32768.0f ? -32768.0f : p;
    c = c > 32767.0f ? 32767.0f : c;
    const auto q = static_cast<int32_t>(c + std::copysign(0.5f, c));
    return static_cast<int16_t>(std::fabs(p) < zero_below ? 0 : q);
}

}  // namespace

bool quantize_nearest(std::span<const float> in, float multiplier, float zero_below,
                      std::span<int16_t> out) {
    const float* src = in.data();
    int16_t* dst = out.data();
    const std::size_t n = in.size();
    std::size_t i = 0;
    uint32_t clamped = 0;
#if KESTOVA_SSE2_LOOPS
    // Eight values at a time with the same operations in the same order as nearest_one, so the
    // results are the same bits.
    const __m128 m = _mm_set1_ps(multiplier);
    const __m128 zone = _mm_set1_ps(zero_below);
    const __m128 above = _mm_set1_ps(kRoundsAbove);
    const __m128 below = _mm_set1_ps(kRoundsBelow);
    const __m128 lowest = _mm_set1_ps(-32768.0f);
    const __m128 highest = _mm_set1_ps(32767.0f);
    const __m128 sign = _mm_set1_ps(-0.0f);
    const __m128 half = _mm_set1_ps(0.5f);
    __m128 clamps = _mm_setzero_ps();
    const auto four = [&](const float* from) {
        __m128 p = _mm_mul_ps(_mm_loadu_ps(from), m);
        p = _mm_and_ps(p, _mm_cmpord_ps(p, p));  // NaN -> 0
        clamps = _mm_or_ps(clamps, _mm_or_ps(_mm_cmpge_ps(p, above), _mm_cmple_ps(p, below)));
        const __m128 c = _mm_min_ps(_mm_max_ps(p, lowest), highest);
        const __m128 rounded = _mm_add_ps(c, _mm_or_ps(_mm_and_ps(c, sign), half));
        const __m128 zeroed = _mm_cmplt_ps(_mm_andnot_ps(sign, p), zone);
        return _mm_andnot_si128(_mm_castps_si128(zeroed), _mm_cvttps_epi32(rounded));
    };
    for (; i + 8 <= n; i += 8) {
        const __m128i low = four(src + i);
        const __m128i high = four(src + i + 4);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packs_epi32(low, high));
    }
    clamped = _mm_movemask_ps(clamps) != 0 ? 1u : 0u;
#endif
    for (; i < n; ++i) dst[i] = nearest_one(src[i], multiplier, zero_below, clamped);
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
