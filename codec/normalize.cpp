#include "codec/normalize.h"

#include "codec/sample_loops.h"

#if KESTOVA_SSE2_LOOPS
#include <emmintrin.h>
#endif

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

// One sample at a time. A sequential strict comparison keeps the earliest extreme, the zero
// with its sign included, as the lanes of the SSE2 form do once their zero is settled.
SampleRange sanitize_plain(std::span<const float> samples, std::span<float> out) {
    SampleRange range{kInf, -kInf};
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const float x = sanitize_one(samples[i]);
        out[i] = x;
        if (x < range.min) range.min = x;
        if (x > range.max) range.max = x;
    }
    return range;
}

#if KESTOVA_SSE2_LOOPS
// The first value of `values` that compares equal to `zero` (the zero, with its sign, that a
// sequential strict comparison would have kept).
float first_zero(std::span<const float> values, float zero) {
    const auto it = std::find(values.begin(), values.end(), 0.0f);
    return it != values.end() ? *it : zero;
}

SampleRange sanitize_sse2(std::span<const float> samples, std::span<float> out) {
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
#endif

}  // namespace

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

float normalized_sample(float x, SampleRange range, float mean) {
    const float width = range.max - range.min;
    if (!(width >= kSmallestNormalRange)) return 0.0f;
    const float inv = 1.0f / width;
    return (x - range.min) * inv - mean;  // normalize()'s two steps, in its order
}

namespace {

// (v + mean) * width + min for one value, or, where that overflows, the same at half scale
// held within the finite floats.
struct Denormalizer {
    float mean;
    float width;
    float low;

    float operator()(float v) const {
        // With a range near the largest float, (v + mean) * width can overflow although the
        // result fits; such values are computed at half scale and doubled instead, and a result
        // that quantisation error pushed past the largest float is held at it.
        constexpr float kMax = std::numeric_limits<float>::max();
        const float t = v + mean;
        const float r = t * width + low;
        if (r - r == 0.0f) return r;  // finite
        return std::clamp((t * (width * 0.5f) + low * 0.5f) * 2.0f, -kMax, kMax);
    }
};

void denormalize_plain(std::span<float> values, const Denormalizer& scalar) {
    for (float& v : values) v = scalar(v);
}

#if KESTOVA_SSE2_LOOPS
void denormalize_sse2(std::span<float> values, const Denormalizer& scalar) {
    float* data = values.data();
    const std::size_t n = values.size();
    const __m128 vmean = _mm_set1_ps(scalar.mean);
    const __m128 vwidth = _mm_set1_ps(scalar.width);
    const __m128 vlow = _mm_set1_ps(scalar.low);
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
#endif

}  // namespace

namespace sample_loops {

std::vector<Form> built_forms() {
    if constexpr (KESTOVA_SSE2_LOOPS) return {Form::Plain, Form::Sse2};
    return {Form::Plain};
}

SampleRange sanitize(Form form, std::span<const float> samples, std::span<float> out) {
#if KESTOVA_SSE2_LOOPS
    if (form == Form::Sse2) return sanitize_sse2(samples, out);
#endif
    (void)form;
    return sanitize_plain(samples, out);
}

void denormalize(Form form, std::span<float> values, float mean, SampleRange range) {
    const Denormalizer scalar{mean, range.max - range.min, range.min};
#if KESTOVA_SSE2_LOOPS
    if (form == Form::Sse2) return denormalize_sse2(values, scalar);
#endif
    (void)form;
    denormalize_plain(values, scalar);
}

}  // namespace sample_loops

SampleRange sanitize(std::span<const float> samples, std::span<float> out) {
    return sample_loops::sanitize(sample_loops::kDefaultForm, samples, out);
}

void denormalize(std::span<float> values, float mean, SampleRange range) {
    sample_loops::denormalize(sample_loops::kDefaultForm, values, mean, range);
}

}  // namespace kestova
