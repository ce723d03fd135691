// The lifting steps shared by the CDF 9/7 and CDF 5/3 transforms, written once over an
// arithmetic back end `A` (portable or vector). The steps own the border rule (whole-sample
// symmetric extension, i.e. doubled neighbours); `A` runs the interior loops and provides the
// per-element update `A::lift(t, w, a, b)`, which every element, interior or border, goes through:
//   A::lift(t, w, a, b)                     -> t + w*(a + b)
//   A::lift_pairs(t, src, count, w)         t[k] = lift(t[k], w, src[k], src[k+1]),  k < count
//   A::split_predict(x, count, s, d, w)     s[k] = x[2k], d[k] = lift(x[2k+1], w, x[2k], x[2k+2])
//   A::merge_predict(s, d, count, w, y)     y[2k] = s[k], y[2k+1] = lift(d[k], w, s[k], s[k+1])
//   A::scale(v, n, k)                       v[i] = v[i]*k
//   A::scale_copy(dst, src, n, k)           dst[i] = src[i]*k
// Sizes: e = ceil(n/2) approximations, o = floor(n/2) details, e >= 2 and o >= 1.
#pragma once

#include <algorithm>
#include <cstddef>

namespace Undra::lifting {

// Splits x (length n) into s and d while running the first predict into d.
template <class A>
void forward_split(const float* x, std::size_t n, float* s, float* d, float w) {
    const std::size_t interior = (n - 1) / 2;  // details whose right neighbour lies inside x
    A::split_predict(x, interior, s, d, w);
    for (std::size_t j = interior; j < n - n / 2; ++j) s[j] = x[2 * j];
    if (n % 2 == 0) d[n / 2 - 1] = A::lift(x[n - 1], w, x[n - 2], x[n - 2]);
}

// s[j] += w*(d[j-1] + d[j]), with d[-1] = d[0] and d[e-1] = d[o-1] at the ends.
template <class A>
void update(float* s, const float* d, std::size_t e, std::size_t o, float w) {
    s[0] = A::lift(s[0], w, d[0], d[0]);
    A::lift_pairs(s + 1, d, e - 2, w);
    s[e - 1] = A::lift(s[e - 1], w, d[e - 2], d[o - 1]);
}

// d[k] += w*(s[k] + s[k+1]), with s[e] = s[e-1] for even lengths (e == o).
template <class A>
void predict(float* d, const float* s, std::size_t e, std::size_t o, float w) {
    A::lift_pairs(d, s, std::min(e - 1, o), w);
    if (e == o) d[o - 1] = A::lift(d[o - 1], w, s[e - 1], s[e - 1]);
}

// Runs the last predict from d into the odd positions of y and interleaves s into the even ones.
template <class A>
void inverse_merge(const float* s, const float* d, std::size_t e, std::size_t o, float w,
                   float* y) {
    const std::size_t interior = std::min(e - 1, o);
    A::merge_predict(s, d, interior, w, y);
    if (e == o) {
        y[2 * o - 2] = s[o - 1];
        y[2 * o - 1] = A::lift(d[o - 1], w, s[e - 1], s[e - 1]);
    } else {
        y[2 * o] = s[e - 1];
    }
}

}  // namespace Undra::lifting
