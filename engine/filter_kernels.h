// The inner loops of the orthogonal filter banks, one set per instruction set and tap count.
// Executors do the checks and the border handling and call these on plain arrays.
#pragma once

#include <cstddef>

#include "engine/util.h"

namespace Undra {

struct FilterKernels {
    // For i < count: approx[i] = Σ_k low[k]·window[2i + k], details[i] the same with high,
    // k = 0..taps-1; reads window[0 .. 2·count + taps - 3].
    void (*analyse)(const float* window, std::size_t count, std::size_t taps, const float* low,
                    const float* high, float* approx, float* details);
    // For q < count and r in {0, 1}, with c = taps/2 - 1:
    // out[2q + r] += Σ_t low[2t + r]·approx[q + c - t] + high[2t + r]·details[q + c - t],
    // t = 0..c; reads approx and details at 0 .. count + c - 1.
    void (*synthesise)(const float* approx, const float* details, std::size_t count,
                       std::size_t taps, const float* low, const float* high, float* out);
};

// The kernels of each instruction set for N taps; N = 0 gives the kernels for a tap count known
// only at run time. Each is instantiated in its own module (wavelet8taps, sse/wavelet8taps_f32,
// ...); the SSE and AVX kernels run only on processors that have those instruction sets.
template <std::size_t N>
FilterKernels portable_filter_kernels();
template <std::size_t N>
FilterKernels sse_filter_kernels();
template <std::size_t N>
FilterKernels avx_filter_kernels();

// The kernels of variant I for N taps.
template <std::size_t N, Isa I>
FilterKernels filter_kernels() {
    if constexpr (I == Isa::Avx) {
        return avx_filter_kernels<N>();
    } else if constexpr (I == Isa::Sse) {
        return sse_filter_kernels<N>();
    } else {
        return portable_filter_kernels<N>();
    }
}

}  // namespace Undra
