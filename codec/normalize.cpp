#include "codec/normalize.h"

#include <emmintrin.h>

#include <algorithm>
#include <limits>

namespace kestova {

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

// Block length of the normalisation pass: the scaled block is summed while it is in cache.
constexpr std::size_t kSumBlock = 1024;

float sanitize_one(float x) {
    if (x != x) return 0.0f;
    if (x == kInf) return 1.0f;
    if (x == -kInf) return 0.0f;
    return x;
}

// The first value of `values` that compares equal to `zero` (the zero, with its sign, that a
// sequential strict comparison would have kept).
float first_zero(std::span<const float> values, float zero) {
    const auto it = std::find(values.begin(), values.end(), 0.0f);
    return it != values.end() ? *it : zero;
}

}  // namespace

SampleRange sanitize(std::span<const float> samples, std::span<float> out) {
    const std::size_t n = samples.size();
    const float* in = samples.data();
    float* dst = out.data();
    // Four lanes; min_ps(x, m) is exactly "x < m ? x : m", so each lane keeps its earliest
    // extreme. Lanes can only disagree with a sequential scan about the sign of a zero,
    // which is settled afterwards.
    const __m128 pos_inf = _mm_set1_ps(kInf);
    const __m128 neg_inf = _mm_set1_ps(-kInf);
    const __m128 one = _mm_set1_ps(1.0f);
    __m128 vmin = pos_inf;
    __m128 vmax = neg_inf;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 x = _mm_loadu_ps(in + i);
        x = _mm_and_ps(x, _mm_cmpord_ps(x, x));              // NaN -> 0
        x = _mm_andnot_ps(_mm_cmpeq_ps(x, neg_inf), x);      // -inf -> 0
        const __m128 is_pos_inf = _mm_cmpeq_ps(x, pos_inf);  // +inf -> 1
        x = _mm_or_ps(_mm_andnot_ps(is_pos_inf, x), _mm_and_ps(is_pos_inf, one));
        _mm_storeu_ps(dst + i, x);
        vmin = _mm_min_ps(x, vmin);
        vmax = _mm_max_ps(x, vmax);
    }
    alignas(16) float lanes_min[4];
    alignas(16) float lanes_max[4];
    _mm_store_ps(lanes_min, vmin);
    _mm_store_ps(lanes_max, vmax);
    SampleRange range{kInf, -kInf};
    for (int k = 0; k < 4; ++k) {
        if (lanes_min[k] < range.min) range.min = lanes_min[k];
        if (lanes_max[k] > range.max) range.max = lanes_max[k];
    }
    for (; i < n; ++i) {
        const float x = sanitize_one(in[i]);
        dst[i] = x;
        if (x < range.min) range.min = x;
        if (x > range.max) range.max = x;
    }
    const std::span<const float> copied(dst, n);
    if (range.min == 0.0f) range.min = first_zero(copied, range.min);
    if (range.max == 0.0f) range.max = first_zero(copied, range.max);
    return range;
}

float normalize(std::span<float> values, SampleRange range) {
    const float width = range.max - range.min;
    if (!(width >= kSmallestNormalRange)) {
        std::fill(values.begin(), values.end(), 0.0f);
        return 0.0f;
    }
    const float inv = 1.0f / width;
    const float low = range.min;
    float sum = 0.0f;
    for (std::size_t start = 0; start < values.size(); start += kSumBlock) {
        const std::span<float> block =
            values.subspan(start, std::min(kSumBlock, values.size() - start));
        for (float& x : block) x = (x - low) * inv;
        // The sum is one binary32 accumulator in index order; it must not be reassociated.
        for (const float x : block) sum += x;
    }
    const float mean = sum / static_cast<float>(values.size());
    for (float& x : values) x -= mean;
    return mean;
}

void denormalize(std::span<float> values, float mean, SampleRange range) {
    const float width = range.max - range.min;
    const float low = range.min;
    // With a range near the largest float, (v + mean) * width can overflow although the
    // result fits; such values are computed at half scale and doubled instead, and a result
    // that quantisation error pushed past the largest float is held at it.
    const float half_width = width * 0.5f;
    const float half_low = low * 0.5f;
    constexpr float kMax = std::numeric_limits<float>::max();
    const auto scalar = [&](float v) {
        const float t = v + mean;
        const float r = t * width + low;
        if (r - r == 0.0f) return r;  // finite
        return std::clamp((t * half_width + half_low) * 2.0f, -kMax, kMax);
    };
    float* data = values.data();
    const std::size_t n = values.size();
    const __m128 vmean = _mm_set1_ps(mean);
    const __m128 vwidth = _mm_set1_ps(width);
    const __m128 vlow = _mm_set1_ps(low);
    const __m128 zero = _mm_setzero_ps();
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 x = _mm_loadu_ps(data + i);
        const __m128 r = _mm_add_ps(_mm_mul_ps(_mm_add_ps(x, vmean), vwidth), vlow);
        _mm_storeu_ps(data + i, r);
        if (_mm_movemask_ps(_mm_cmpeq_ps(_mm_sub_ps(r, r), zero)) != 0xF) {
            alignas(16) float lanes[4];
            _mm_store_ps(lanes, x);
            for (int k = 0; k < 4; ++k) data[i + k] = scalar(lanes[k]);
        }
    }
    for (; i < n; ++i) data[i] = scalar(data[i]);
}

}  // namespace kestova
