// The lifting steps shared by the CDF 9/7 and CDF 5/3 transforms, written once over an
// arithmetic back end `A` (portable or vector). The steps own the border rule (whole-sample
// symmetric extension, i.e. doubled neighbours) and work on index ranges, so that a transform
// can run all its steps chunk by chunk while the data is still in cache. `A` runs the interior
// loops and provides the per-element update, which every element, interior or border, uses:
//   A::lift(t, w, a, b)                     -> t + w*(a + b)
//   A::lift_pairs(t, src, count, w)         t[k] = lift(t[k], w, src[k], src[k+1]),  k < count
//   A::split_predict(x, count, s, d, w)     s[k] = x[2k], d[k] = lift(x[2k+1], w, x[2k], x[2k+2])
//   A::merge_predict(s, d, count, w, y)     y[2k] = s[k], y[2k+1] = lift(d[k], w, s[k], s[k+1])
//   A::scale_copy(dst, src, n, k)           dst[i] = src[i]*k  (dst may equal src)
// Each back end names itself for its instruction set by declaring `A arithmetic_for(IsaTag<I>)`.
// Sizes: e = ceil(n/2) approximations, o = floor(n/2) details, e >= 2 and o >= 1.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "engine/util.h"

namespace Undra::lifting {

// Selects, through argument-dependent lookup, the back end that declares itself for I.
template <Isa I>
struct IsaTag {};

// The arithmetic back end of instruction set I; its header must have been included.
template <Isa I>
using ArithmeticFor = decltype(arithmetic_for(IsaTag<I>{}));

// Number of approximations each step advances per round of a chunked transform; the slices
// of all arrays involved stay within the first-level data cache.
inline constexpr std::size_t kChunk = 1024;

// For k in [k0, k1) of [0, e): s[k] = x[2k] and, when k < o, the first predict into d[k].
template <class A>
void split_range(const float* x, std::size_t n, float* s, float* d, float w, std::size_t k0,
                 std::size_t k1) {
    const std::size_t interior = (n - 1) / 2;  // details whose right neighbour lies inside x
    const std::size_t hi = std::min(k1, interior);
    if (k0 < hi) A::split_predict(x + 2 * k0, hi - k0, s + k0, d + k0, w);
    for (std::size_t k = std::max(k0, interior); k < k1; ++k) {
        s[k] = x[2 * k];
        if (k < n / 2) d[k] = A::lift(x[2 * k + 1], w, x[2 * k], x[2 * k]);  // x[n] = x[n-2]
    }
}

// For j in [j0, j1) of [0, e): s[j] += w*(d[j-1] + d[j]), with d[-1] = d[0] and the last
// approximation pairing d[e-2] with d[o-1] (doubled for odd lengths).
template <class A>
void update_range(float* s, const float* d, std::size_t e, std::size_t o, float w, std::size_t j0,
                  std::size_t j1) {
    std::size_t j = j0;
    if (j == 0 && j < j1) {
        s[0] = A::lift(s[0], w, d[0], d[0]);
        ++j;
    }
    const std::size_t hi = std::min(j1, e - 1);
    if (j < hi) {
        A::lift_pairs(s + j, d + j - 1, hi - j, w);
        j = hi;
    }
    if (j < j1) s[e - 1] = A::lift(s[e - 1], w, d[e - 2], d[o - 1]);
}

// For k in [k0, k1) of [0, o): d[k] += w*(s[k] + s[k+1]), with s[e] = s[e-1] when e == o.
template <class A>
void predict_range(float* d, const float* s, std::size_t e, std::size_t o, float w, std::size_t k0,
                   std::size_t k1) {
    const std::size_t interior = std::min(e - 1, o);
    const std::size_t hi = std::min(k1, interior);
    if (k0 < hi) A::lift_pairs(d + k0, s + k0, hi - k0, w);
    for (std::size_t k = std::max(k0, interior); k < k1; ++k) {
        d[k] = A::lift(d[k], w, s[e - 1], s[e - 1]);
    }
}

// For k in [k0, k1) of [0, e): y[2k] = s[k] and, when k < o, y[2k+1] = d[k] + w*(s[k] + s[k+1])
// with s[e] = s[e-1] when e == o: the last predict of a synthesis, interleaved into y.
template <class A>
void merge_range(const float* s, const float* d, std::size_t e, std::size_t o, float w, float* y,
                 std::size_t k0, std::size_t k1) {
    const std::size_t interior = std::min(e - 1, o);
    const std::size_t hi = std::min(k1, interior);
    if (k0 < hi) A::merge_predict(s + k0, d + k0, hi - k0, w, y + 2 * k0);
    for (std::size_t k = std::max(k0, interior); k < k1; ++k) {
        y[2 * k] = s[k];
        if (k < o) y[2 * k + 1] = A::lift(d[k], w, s[k], s[k]);
    }
}

// Slides a synthesis window along its level: moves the `kept` elements from v[shift] to v[0].
inline void slide_window(float* v, std::size_t shift, std::size_t kept) {
    if (shift != 0) std::memmove(v, v + shift, kept * sizeof(float));
}

// v[i] = src[i]*k for i in [i0, i1).
template <class A>
void scale_range(float* v, const float* src, float k, std::size_t i0, std::size_t i1) {
    if (i0 < i1) A::scale_copy(v + i0, src + i0, i1 - i0, k);
}

}  // namespace Undra::lifting
