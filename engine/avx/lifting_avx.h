// AVX2/FMA arithmetic back end of the lifting steps (see lifting_steps.h); include only from
// files compiled with -mavx2 -mfma. Each update rounds the sum a + b and then performs one fused
// multiply-add, in vector lanes and scalar remainders alike. Loads and stores are unaligned.
// Everything here has internal linkage and calls no out-of-line library function, so no copy
// built for AVX can stand in for a portable one at link time.
#pragma once

#include <immintrin.h>

#include <cstddef>

#include "engine/lifting_steps.h"

namespace Undra::lifting {
namespace {

struct AvxArith {
    static float lift(float t, float w, float a, float b) { return __builtin_fmaf(w, a + b, t); }

    static __m256 lift8(__m256 t, __m256 w, __m256 a, __m256 b) {
        return _mm256_fmadd_ps(w, _mm256_add_ps(a, b), t);
    }

    static void lift_pairs(float* t, const float* src, std::size_t count, float w) {
        const __m256 vw = _mm256_set1_ps(w);
        std::size_t k = 0;
        for (; k + 32 <= count; k += 32) {
            for (std::size_t u = 0; u < 32; u += 8) {
                const __m256 r = lift8(_mm256_loadu_ps(t + k + u), vw, _mm256_loadu_ps(src + k + u),
                                       _mm256_loadu_ps(src + k + u + 1));
                _mm256_storeu_ps(t + k + u, r);
            }
        }
        for (; k + 8 <= count; k += 8) {
            _mm256_storeu_ps(t + k, lift8(_mm256_loadu_ps(t + k), vw, _mm256_loadu_ps(src + k),
                                          _mm256_loadu_ps(src + k + 1)));
        }
        for (; k < count; ++k) t[k] = lift(t[k], w, src[k], src[k + 1]);
    }

    // Even and odd samples of x[0..15], each in order.
    static void deinterleave(const float* x, __m256& even, __m256& odd) {
        const __m256 lo = _mm256_loadu_ps(x);
        const __m256 hi = _mm256_loadu_ps(x + 8);
        // Within each 128-bit half: lo pairs then hi pairs; restore order across halves.
        const __m256 e = _mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
        const __m256 o = _mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
        even = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(e), 0xD8));
        odd = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(o), 0xD8));
    }

    static void split_predict(const float* x, std::size_t count, float* s, float* d, float w) {
        const __m256 vw = _mm256_set1_ps(w);
        const __m256i rotate = _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 0);
        std::size_t k = 0;
        // A block reads x[2k .. 2k+16]; count interior details guarantee x[2*count] exists.
        for (; k + 8 <= count; k += 8) {
            __m256 even, odd;
            deinterleave(x + 2 * k, even, odd);
            // Right neighbours: the evens shifted down one lane, x[2k+16] entering at the top.
            const __m256 next_even = _mm256_blend_ps(_mm256_permutevar8x32_ps(even, rotate),
                                                     _mm256_broadcast_ss(x + 2 * k + 16), 0x80);
            _mm256_storeu_ps(s + k, even);
            _mm256_storeu_ps(d + k, lift8(odd, vw, even, next_even));
        }
        for (; k < count; ++k) {
            s[k] = x[2 * k];
            d[k] = lift(x[2 * k + 1], w, x[2 * k], x[2 * k + 2]);
        }
    }

    static void merge_predict(const float* s, const float* d, std::size_t count, float w,
                              float* y) {
        const __m256 vw = _mm256_set1_ps(w);
        std::size_t k = 0;
        for (; k + 8 <= count; k += 8) {
            const __m256 even = _mm256_loadu_ps(s + k);
            const __m256 odd = lift8(_mm256_loadu_ps(d + k), vw, even, _mm256_loadu_ps(s + k + 1));
            const __m256 lo = _mm256_unpacklo_ps(even, odd);  // pairs 0,1 | 4,5
            const __m256 hi = _mm256_unpackhi_ps(even, odd);  // pairs 2,3 | 6,7
            _mm256_storeu_ps(y + 2 * k, _mm256_permute2f128_ps(lo, hi, 0x20));
            _mm256_storeu_ps(y + 2 * k + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
        }
        for (; k < count; ++k) {
            y[2 * k] = s[k];
            y[2 * k + 1] = lift(d[k], w, s[k], s[k + 1]);
        }
    }

    static void scale_copy(float* dst, const float* src, std::size_t n, float k) {
        const __m256 vk = _mm256_set1_ps(k);
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            _mm256_storeu_ps(dst + i, _mm256_mul_ps(_mm256_loadu_ps(src + i), vk));
        }
        for (; i < n; ++i) dst[i] = src[i] * k;
    }
};

}  // namespace

// Only declared, for the type lookup of ArithmeticFor: it names no symbol.
AvxArith arithmetic_for(IsaTag<Isa::Avx>);

}  // namespace Undra::lifting
