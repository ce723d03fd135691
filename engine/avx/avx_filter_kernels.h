// The AVX2/FMA vector operations of the filter-bank kernels; include only from engine/avx.
#pragma once

#include <immintrin.h>

#include "engine/simd_filter_kernels.h"

namespace Undra {

// Internal linkage: no copy of these built for AVX can stand in for another at link time.
namespace avx {
namespace {

// Eight lanes with fused multiply-add.
struct Vec {
    using Reg = __m256;
    static constexpr std::size_t kWidth = 8;

    static Reg zero() { return _mm256_setzero_ps(); }
    static Reg broadcast(float v) { return _mm256_set1_ps(v); }
    static Reg load(const float* p) { return _mm256_loadu_ps(p); }
    static void store(float* p, Reg v) { _mm256_storeu_ps(p, v); }
    static Reg madd(Reg acc, Reg a, Reg b) { return _mm256_fmadd_ps(a, b, acc); }
    static float madd_scalar(float acc, float a, float b) { return __builtin_fmaf(a, b, acc); }
    // acc + a·b + c·d as two fused steps.
    static Reg madd2(Reg acc, Reg a, Reg b, Reg c, Reg d) {
        return _mm256_fmadd_ps(c, d, _mm256_fmadd_ps(a, b, acc));
    }
    static float madd2_scalar(float acc, float a, float b, float c, float d) {
        return __builtin_fmaf(c, d, __builtin_fmaf(a, b, acc));
    }

    // even[0..7] = src[0, 2, ..., 14], odd[0..7] = src[1, 3, ..., 15].
    static void deinterleave(const float* src, float* even, float* odd) {
        const Reg v0 = _mm256_loadu_ps(src);
        const Reg v1 = _mm256_loadu_ps(src + 8);
        // Per 128-bit lane the shuffle gives v0's pair then v1's; restore the order by 64 bits.
        const Reg e = _mm256_shuffle_ps(v0, v1, _MM_SHUFFLE(2, 0, 2, 0));
        const Reg o = _mm256_shuffle_ps(v0, v1, _MM_SHUFFLE(3, 1, 3, 1));
        constexpr int kOrder = _MM_SHUFFLE(3, 1, 2, 0);
        _mm256_store_ps(even, _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(e), kOrder)));
        _mm256_store_ps(odd, _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(o), kOrder)));
    }

    // dst[2j] += even[j], dst[2j + 1] += odd[j] for j < 8.
    static void interleave_add(float* dst, Reg even, Reg odd) {
        const Reg lo = _mm256_unpacklo_ps(even, odd);  // e0 o0 e1 o1 | e4 o4 e5 o5
        const Reg hi = _mm256_unpackhi_ps(even, odd);  // e2 o2 e3 o3 | e6 o6 e7 o7
        const Reg first = _mm256_permute2f128_ps(lo, hi, 0x20);
        const Reg second = _mm256_permute2f128_ps(lo, hi, 0x31);
        _mm256_storeu_ps(dst, _mm256_add_ps(_mm256_loadu_ps(dst), first));
        _mm256_storeu_ps(dst + 8, _mm256_add_ps(_mm256_loadu_ps(dst + 8), second));
    }
};

}  // namespace
}  // namespace avx

template <std::size_t N>
FilterKernels avx_filter_kernels() {
    return simd_kernels::kernels<avx::Vec, N>();
}

}  // namespace Undra
