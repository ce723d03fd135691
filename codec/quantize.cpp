#include "codec/quantize.h"

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace kestova {

int32_t cutoff_threshold(uint8_t scale, CutoffLevel cutoff) {
    static constexpr std::array<int32_t, 7> kBase = {0, 0, 1, 1, 2, 2, 3};  // scales 6..12
    const std::size_t index = std::clamp<std::size_t>(scale, 6, 12) - 6;
    const int32_t factor = cutoff == CutoffLevel::Low ? 1 : cutoff == CutoffLevel::Medium ? 3 : 7;
    return kBase[index] * factor;
}

namespace {

// Running minimum and maximum of four lanes; NaN lanes never replace a value (min_ps and
// max_ps return their second operand when either is NaN).
struct LaneExtremes {
    __m128 lo = _mm_set1_ps(std::numeric_limits<float>::infinity());
    __m128 hi = _mm_set1_ps(-std::numeric_limits<float>::infinity());

    void add(__m128 v) {
        lo = _mm_min_ps(v, lo);
        hi = _mm_max_ps(v, hi);
    }
    // True when some product in the lanes or in [tail_lo, tail_hi] truncates to a value outside
    // the int16 range, i.e. when the clamp changes it.
    bool clamps(float tail_lo, float tail_hi) const {
        alignas(16) float lows[4];
        alignas(16) float highs[4];
        _mm_store_ps(lows, lo);
        _mm_store_ps(highs, hi);
        for (int k = 0; k < 4; ++k) {
            tail_lo = std::min(tail_lo, lows[k]);
            tail_hi = std::max(tail_hi, highs[k]);
        }
        return tail_hi >= 32768.0f || tail_lo <= -32769.0f;
    }
};

// One coefficient: the scalar form of the vector loop below.
int16_t quantize_one(float v, float multiplier, float threshold) {
    float p = v * multiplier;
    p = p == p ? p : 0.0f;              // NaN never reaches the conversion
    p = p < -32768.0f ? -32768.0f : p;  // infinities saturate
    p = p > 32767.0f ? 32767.0f : p;
    // |trunc(p)| < T exactly when |p| < T, T being a whole number.
    return std::fabs(p) < threshold ? int16_t{0} : static_cast<int16_t>(p);
}

}  // namespace

bool quantize(std::span<const float> in, float multiplier, int32_t threshold,
              std::span<int16_t> out) {
    const float* src = in.data();
    int16_t* dst = out.data();
    const std::size_t n = in.size();
    const float limit = static_cast<float>(threshold);
    const __m128 mul = _mm_set1_ps(multiplier);
    const __m128 low = _mm_set1_ps(-32768.0f);
    const __m128 high = _mm_set1_ps(32767.0f);
    const __m128 cut = _mm_set1_ps(limit);
    const __m128 sign = _mm_set1_ps(-0.0f);
    LaneExtremes extremes;
    // Eight values per step: multiply, zero NaN, note the extremes, clamp, truncate, cut off,
    // narrow.
    const auto four = [&](const float* p) {
        __m128 v = _mm_mul_ps(_mm_loadu_ps(p), mul);
        v = _mm_and_ps(v, _mm_cmpord_ps(v, v));
        extremes.add(v);
        v = _mm_min_ps(_mm_max_ps(v, low), high);
        const __m128 small = _mm_cmplt_ps(_mm_andnot_ps(sign, v), cut);
        return _mm_andnot_si128(_mm_castps_si128(small), _mm_cvttps_epi32(v));
    };
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_packs_epi32(four(src + i), four(src + i + 4)));
    }
    float tail_lo = 0.0f;
    float tail_hi = 0.0f;
    for (; i < n; ++i) {
        const float p = src[i] * multiplier;
        tail_lo = std::min(tail_lo, p);
        tail_hi = std::max(tail_hi, p);
        dst[i] = quantize_one(src[i], multiplier, limit);
    }
    return extremes.clamps(tail_lo, tail_hi);
}

bool quantize_would_clamp(std::span<const float> in, float multiplier) {
    const float* src = in.data();
    const std::size_t n = in.size();
    LaneExtremes extremes;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) extremes.add(_mm_loadu_ps(src + i));
    float tail_lo = 0.0f;
    float tail_hi = 0.0f;
    for (; i < n; ++i) {
        tail_lo = std::min(tail_lo, src[i]);
        tail_hi = std::max(tail_hi, src[i]);
    }
    // Rounding is monotonic, so the extremes of the products are the products of the extremes.
    const LaneExtremes products{.lo = _mm_mul_ps(extremes.lo, _mm_set1_ps(multiplier)),
                                .hi = _mm_mul_ps(extremes.hi, _mm_set1_ps(multiplier))};
    return products.clamps(tail_lo * multiplier, tail_hi * multiplier);
}

void dequantize(std::span<const uint8_t> image, float factor, std::span<float> out) {
    const uint8_t* src = image.data();
    float* dst = out.data();
    const std::size_t n = out.size();
    for (std::size_t i = 0; i < n; ++i) {
        const int16_t q =
            static_cast<int16_t>(static_cast<uint16_t>(src[2 * i] | (src[2 * i + 1] << 8)));
        dst[i] = static_cast<float>(q) * factor;
    }
}

}  // namespace kestova
