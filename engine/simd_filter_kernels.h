// Filter-bank kernels written once for any vector width. V supplies the vector operations; this
// header has no intrinsics itself and is included only by the engine/sse and engine/avx modules,
// each with its own V, so every instantiation is compiled for its instruction set.
//
// Analysis deinterleaves a block of the window into even and odd samples, after which W
// consecutive outputs of one tap are a plain vector load: out[i..i+W) += h[2t]·even[i+t..] +
// h[2t+1]·odd[i+t..]. Synthesis works the same way on the coefficient arrays, one vector of even
// and one of odd output samples at a time.
#pragma once

#include <cstddef>

#include "engine/filter_kernels.h"

namespace Undra::simd_kernels {

// Phase samples held per block: outputs per block plus N/2 - 1 (tap counts beyond about two
// thousand fall back to the scalar loop).
inline constexpr std::size_t kPhaseCapacity = 1024;

template <class V, std::size_t N>
void analyse(const float* window, std::size_t count, std::size_t taps, const float* low,
             const float* high, float* __restrict approx, float* __restrict details) {
    using Reg = typename V::Reg;
    constexpr std::size_t W = V::kWidth;
    const std::size_t n_taps = N != 0 ? N : taps;
    const std::size_t half = n_taps / 2;
    const std::size_t lead = half - 1;
    const std::size_t block = kPhaseCapacity > lead + W ? (kPhaseCapacity - lead) / W * W : 0;
    alignas(32) float even[kPhaseCapacity];
    alignas(32) float odd[kPhaseCapacity];
    std::size_t i0 = 0;
    while (block > 0 && count - i0 >= W) {
        const std::size_t rest = (count - i0) / W * W;
        const std::size_t b = rest < block ? rest : block;
        // Outputs i0 .. i0+b-1 read window[2·i0 .. 2·(i0 + b + lead) - 1].
        const float* w = window + 2 * i0;
        const std::size_t phase_length = b + lead;  // <= kPhaseCapacity by the choice of block
        std::size_t j = 0;
        for (; j + W <= phase_length; j += W) V::deinterleave(w + 2 * j, even + j, odd + j);
        for (const float* pair = w + 2 * j; j < phase_length && j < kPhaseCapacity;
             ++j, pair += 2) {
            even[j] = pair[0];
            odd[j] = pair[1];
        }
        for (std::size_t i = 0; i < b; i += W) {
            Reg a = V::zero();
            Reg d = V::zero();
            for (std::size_t t = 0; t < half; ++t) {
                const Reg e = V::load(even + i + t);
                const Reg o = V::load(odd + i + t);
                a = V::madd(a, V::broadcast(low[2 * t]), e);
                a = V::madd(a, V::broadcast(low[2 * t + 1]), o);
                d = V::madd(d, V::broadcast(high[2 * t]), e);
                d = V::madd(d, V::broadcast(high[2 * t + 1]), o);
            }
            V::store(approx + i0 + i, a);
            V::store(details + i0 + i, d);
        }
        i0 += b;
    }
    for (; i0 < count; ++i0) {
        const float* w = window + 2 * i0;
        float a = 0.0f;
        float d = 0.0f;
        for (std::size_t k = 0; k < n_taps; ++k) {
            a = V::madd_scalar(a, low[k], w[k]);
            d = V::madd_scalar(d, high[k], w[k]);
        }
        approx[i0] = a;
        details[i0] = d;
    }
}

template <class V, std::size_t N>
void synthesise(const float* approx, const float* details, std::size_t count, std::size_t taps,
                const float* low, const float* high, float* __restrict out) {
    using Reg = typename V::Reg;
    constexpr std::size_t W = V::kWidth;
    const std::size_t half = (N != 0 ? N : taps) / 2;
    // As in the portable kernel: tap 2t + r meets coefficient q + half - 1 - t, t downwards.
    std::size_t q = 0;
    for (; q + W <= count; q += W) {
        Reg even = V::zero();
        Reg odd = V::zero();
        for (std::size_t t = half; t-- > 0;) {
            const Reg a = V::load(approx + q + half - 1 - t);
            const Reg d = V::load(details + q + half - 1 - t);
            even = V::madd2(even, V::broadcast(low[2 * t]), a, V::broadcast(high[2 * t]), d);
            odd = V::madd2(odd, V::broadcast(low[2 * t + 1]), a, V::broadcast(high[2 * t + 1]), d);
        }
        V::interleave_add(out + 2 * q, even, odd);
    }
    for (; q < count; ++q) {
        float even = 0.0f;
        float odd = 0.0f;
        for (std::size_t t = half; t-- > 0;) {
            const float a = approx[q + half - 1 - t];
            const float d = details[q + half - 1 - t];
            even = V::madd2_scalar(even, low[2 * t], a, high[2 * t], d);
            odd = V::madd2_scalar(odd, low[2 * t + 1], a, high[2 * t + 1], d);
        }
        out[2 * q] += even;
        out[2 * q + 1] += odd;
    }
}

// The kernel set of vector type V for N taps (0: run-time tap count).
template <class V, std::size_t N>
FilterKernels kernels() {
    return {&analyse<V, N>, &synthesise<V, N>};
}

}  // namespace Undra::simd_kernels
