#include "codec/quantize.h"

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace kestova {

int32_t cutoff_threshold(uint8_t scale, CutoffLevel cutoff) {
    static constexpr std::array<int32_t, 7> kBase = {0, 0, 1, 1, 2, 2, 3};  // scales 6..12
    const std::size_t index = std::clamp<std::size_t>(scale, 6, 12) - 6;
    const int32_t factor = cutoff == CutoffLevel::Low ? 1 : cutoff == CutoffLevel::Medium ? 3 : 7;
    return kBase[index] * factor;
}

namespace {

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

void quantize(std::span<const float> in, float multiplier, int32_t threshold,
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
    // Eight values per step: multiply, zero NaN, clamp, truncate, cut off, narrow.
    const auto four = [&](const float* p) {
        __m128 v = _mm_mul_ps(_mm_loadu_ps(p), mul);
        v = _mm_and_ps(v, _mm_cmpord_ps(v, v));
        v = _mm_min_ps(_mm_max_ps(v, low), high);
        const __m128 small = _mm_cmplt_ps(_mm_andnot_ps(sign, v), cut);
        return _mm_andnot_si128(_mm_castps_si128(small), _mm_cvttps_epi32(v));
    };
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_packs_epi32(four(src + i), four(src + i + 4)));
    }
    for (; i < n; ++i) dst[i] = quantize_one(src[i], multiplier, limit);
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
