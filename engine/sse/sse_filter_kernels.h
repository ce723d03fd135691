// The SSE4.2 vector operations of the filter-bank kernels; include only from engine/sse.
#pragma once

#include <immintrin.h>

#include "engine/simd_filter_kernels.h"

namespace Undra {

// Internal linkage: no copy of these built for SSE can stand in for another at link time.
namespace sse {
namespace {

// Four lanes; products and sums rounded separately, as in the portable kernels.
struct Vec {
    using Reg = __m128;
    static constexpr std::size_t kWidth = 4;

    static Reg zero() { return _mm_setzero_ps(); }
    static Reg broadcast(float v) { return _mm_set1_ps(v); }
    static Reg load(const float* p) { return _mm_loadu_ps(p); }
    static void store(float* p, Reg v) { _mm_storeu_ps(p, v); }
    static Reg madd(Reg acc, Reg a, Reg b) { return _mm_add_ps(acc, _mm_mul_ps(a, b)); }
    static float madd_scalar(float acc, float a, float b) { return acc + a * b; }
    // acc + (a·b + c·d)
    static Reg madd2(Reg acc, Reg a, Reg b, Reg c, Reg d) {
        return _mm_add_ps(acc, _mm_add_ps(_mm_mul_ps(a, b), _mm_mul_ps(c, d)));
    }
    static float madd2_scalar(float acc, float a, float b, float c, float d) {
        return acc + (a * b + c * d);
    }

    // even[0..3] = src[0, 2, 4, 6], odd[0..3] = src[1, 3, 5, 7].
    static void deinterleave(const float* src, float* even, float* odd) {
        const Reg v0 = _mm_loadu_ps(src);
        const Reg v1 = _mm_loadu_ps(src + 4);
        _mm_store_ps(even, _mm_shuffle_ps(v0, v1, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm_store_ps(odd, _mm_shuffle_ps(v0, v1, _MM_SHUFFLE(3, 1, 3, 1)));
    }

    // dst[2j] += even[j], dst[2j + 1] += odd[j] for j < 4.
    static void interleave_add(float* dst, Reg even, Reg odd) {
        _mm_storeu_ps(dst, _mm_add_ps(_mm_loadu_ps(dst), _mm_unpacklo_ps(even, odd)));
        _mm_storeu_ps(dst + 4, _mm_add_ps(_mm_loadu_ps(dst + 4), _mm_unpackhi_ps(even, odd)));
    }
};

}  // namespace
}  // namespace sse

template <std::size_t N>
FilterKernels sse_filter_kernels() {
    return simd_kernels::kernels<sse::Vec, N>();
}

}  // namespace Undra
