#include "codec/quantize.h"

#include "codec/sample_loops.h"

#if KESTOVA_SSE2_LOOPS
#include <emmintrin.h>
#endif

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

constexpr float kInf = std::numeric_limits<float>::infinity();

// True when some product in [lo, hi] truncates to a value outside the int16 range, i.e. when
// the clamp changes it.
bool clamps(float lo, float hi) {
    return hi >= 32768.0f || lo <= -32769.0f;
}

// Running minimum and maximum of four lanes, the plain form of the SSE2 one below: a NaN never
// replaces a value (min_ps and max_ps return their second operand when either is NaN).
struct PlainExtremes {
    std::array<float, 4> lo = {kInf, kInf, kInf, kInf};
    std::array<float, 4> hi = {-kInf, -kInf, -kInf, -kInf};

    void add(const float* v) {
        for (int k = 0; k < 4; ++k) {
            lo[k] = v[k] < lo[k] ? v[k] : lo[k];
            hi[k] = v[k] > hi[k] ? v[k] : hi[k];
        }
    }
    // The extremes of the lanes times `multiplier`.
    PlainExtremes scaled(float multiplier) const {
        PlainExtremes products;
        for (int k = 0; k < 4; ++k) {
            products.lo[k] = lo[k] * multiplier;
            products.hi[k] = hi[k] * multiplier;
        }
        return products;
    }
    // True when some product in the lanes or in [tail_lo, tail_hi] clamps.
    bool clamps(float tail_lo, float tail_hi) const {
        for (int k = 0; k < 4; ++k) {
            tail_lo = std::min(tail_lo, lo[k]);
            tail_hi = std::max(tail_hi, hi[k]);
        }
        return kestova::clamps(tail_lo, tail_hi);
    }
};

// One coefficient: the scalar form of the vector loops below.
int16_t quantize_one(float v, float multiplier, float threshold) {
    float p = v * multiplier;
    p = p == p ? p : 0.0f;              // NaN never reaches the conversion
    p = p < -32768.0f ? -32768.0f : p;  // infinities saturate
    p = p > 32767.0f ? 32767.0f : p;
    // |trunc(p)| < T exactly when |p| < T, T being a whole number.
    return std::fabs(p) < threshold ? int16_t{0} : static_cast<int16_t>(p);
}

// The products of the tail from `i` on: quantised into `dst` (when given) and their extremes
// folded into `extremes`' verdict.
template <class Extremes>
bool finish(const Extremes& extremes, const float* src, std::size_t i, std::size_t n,
            float multiplier, float limit, int16_t* dst) {
    float tail_lo = 0.0f;
    float tail_hi = 0.0f;
    for (; i < n; ++i) {
        const float p = src[i] * multiplier;
        tail_lo = std::min(tail_lo, p);
        tail_hi = std::max(tail_hi, p);
        if (dst != nullptr) dst[i] = quantize_one(src[i], multiplier, limit);
    }
    return extremes.clamps(tail_lo, tail_hi);
}

bool quantize_plain(std::span<const float> in, float multiplier, int32_t threshold,
                    std::span<int16_t> out) {
    const float limit = static_cast<float>(threshold);
    PlainExtremes extremes;
    std::size_t i = 0;
    for (; i + 4 <= in.size(); i += 4) {
        std::array<float, 4> products;
        for (int k = 0; k < 4; ++k) {
            const float p = in[i + k] * multiplier;
            products[k] = p == p ? p : 0.0f;
        }
        extremes.add(products.data());
        for (int k = 0; k < 4; ++k) out[i + k] = quantize_one(in[i + k], multiplier, limit);
    }
    return finish(extremes, in.data(), i, in.size(), multiplier, limit, out.data());
}

// quantize_would_clamp with the lanes of `Extremes`: the extremes of the samples in blocks of
// four, then of the tail. Rounding is monotonic, so the extremes of the products are the
// products of the extremes.
template <class Extremes>
bool would_clamp(std::span<const float> in, float multiplier) {
    Extremes extremes;
    std::size_t i = 0;
    for (; i + 4 <= in.size(); i += 4) extremes.add(in.data() + i);
    return finish(extremes.scaled(multiplier), in.data(), i, in.size(), multiplier, 0.0f, nullptr);
}

#if KESTOVA_SSE2_LOOPS
// Running minimum and maximum of four lanes; NaN lanes never replace a value (min_ps and
// max_ps return their second operand when either is NaN).
struct LaneExtremes {
    __m128 lo = _mm_set1_ps(kInf);
    __m128 hi = _mm_set1_ps(-kInf);

    void add(__m128 v) {
        lo = _mm_min_ps(v, lo);
        hi = _mm_max_ps(v, hi);
    }
    void add(const float* v) { add(_mm_loadu_ps(v)); }
    LaneExtremes scaled(float multiplier) const {
        const __m128 m = _mm_set1_ps(multiplier);
        return {.lo = _mm_mul_ps(lo, m), .hi = _mm_mul_ps(hi, m)};
    }
    // True when some product in the lanes or in [tail_lo, tail_hi] clamps.
    bool clamps(float tail_lo, float tail_hi) const {
        PlainExtremes lanes;
        _mm_storeu_ps(lanes.lo.data(), lo);
        _mm_storeu_ps(lanes.hi.data(), hi);
        return lanes.clamps(tail_lo, tail_hi);
    }
};

bool quantize_sse2(std::span<const float> in, float multiplier, int32_t threshold,
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
    return finish(extremes, src, i, n, multiplier, limit, dst);
}
#endif

}  // namespace

namespace sample_loops {

bool quantize(Form form, std::span<const float> in, float multiplier, int32_t threshold,
              std::span<int16_t> out) {
#if KESTOVA_SSE2_LOOPS
    if (form == Form::Sse2) return quantize_sse2(in, multiplier, threshold, out);
#endif
    (void)form;
    return quantize_plain(in, multiplier, threshold, out);
}

bool quantize_would_clamp(Form form, std::span<const float> in, float multiplier) {
#if KESTOVA_SSE2_LOOPS
    if (form == Form::Sse2) return would_clamp<LaneExtremes>(in, multiplier);
#endif
    (void)form;
    return would_clamp<PlainExtremes>(in, multiplier);
}

}  // namespace sample_loops

bool quantize(std::span<const float> in, float multiplier, int32_t threshold,
              std::span<int16_t> out) {
    return sample_loops::quantize(sample_loops::kDefaultForm, in, multiplier, threshold, out);
}

bool quantize_would_clamp(std::span<const float> in, float multiplier) {
    return sample_loops::quantize_would_clamp(sample_loops::kDefaultForm, in, multiplier);
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
