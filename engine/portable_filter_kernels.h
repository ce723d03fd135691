// Portable filter-bank kernels: one output at a time with separate multiply and add, in the order
// of the transform's definition (analysis: taps ascending; synthesis: coefficients ascending,
// each adding h·a + g·d). They define the reference results of the family.
#pragma once

#include <cstddef>

#include "engine/filter_kernels.h"

namespace Undra {

namespace portable_kernels {

// N = 0: the tap count is the run-time argument.
template <std::size_t N>
void analyse(const float* window, std::size_t count, std::size_t taps, const float* low,
             const float* high, float* approx, float* details) {
    const std::size_t n_taps = N != 0 ? N : taps;
    for (std::size_t i = 0; i < count; ++i) {
        const float* w = window + 2 * i;
        float a = 0.0f;
        float d = 0.0f;
        for (std::size_t k = 0; k < n_taps; ++k) {
            a += low[k] * w[k];
            d += high[k] * w[k];
        }
        approx[i] = a;
        details[i] = d;
    }
}

template <std::size_t N>
void synthesise(const float* approx, const float* details, std::size_t count, std::size_t taps,
                const float* low, const float* high, float* out) {
    const std::size_t half = (N != 0 ? N : taps) / 2;
    for (std::size_t q = 0; q < count; ++q) {
        // Output 2q + r gathers tap 2t + r of coefficient j = q + half - 1 - t. Taking t downwards
        // adds the coefficients' contributions h·a + g·d in ascending j, one after another.
        const float* a = approx + q;
        const float* d = details + q;
        float even = out[2 * q];
        float odd = out[2 * q + 1];
        for (std::size_t t = half; t-- > 0;) {
            const std::size_t j = half - 1 - t;
            even += low[2 * t] * a[j] + high[2 * t] * d[j];
            odd += low[2 * t + 1] * a[j] + high[2 * t + 1] * d[j];
        }
        out[2 * q] = even;
        out[2 * q + 1] = odd;
    }
}

}  // namespace portable_kernels

template <std::size_t N>
FilterKernels portable_filter_kernels() {
    return {&portable_kernels::analyse<N>, &portable_kernels::synthesise<N>};
}

}  // namespace Undra
