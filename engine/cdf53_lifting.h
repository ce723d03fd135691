// The CDF 5/3 (LeGall) lifting scheme in floating point, analysis gain 1 at zero frequency,
// written once over an arithmetic back end; see lifting_steps.h. All weights are powers of
// two, so every back end gives the same bits unless a product is subnormal.
#pragma once

#include <cstring>
#include <cstddef>

#include "engine/lifting_executor.h"
#include "engine/lifting_steps.h"

namespace Undra::cdf53 {

inline constexpr float kPredict = -0.5f;
inline constexpr float kUpdate = 0.25f;

// Signals of 3 samples and more; the inverse copies only the approximations.
inline constexpr LiftingShape kShape{3, 6, false};

// One analysis level of x (n >= 3) into s (ceil(n/2)) and d (floor(n/2)).
template <class A>
void forward(const float* x, std::size_t n, float* s, float* d) {
    lifting::forward_split<A>(x, n, s, d, kPredict);
    lifting::update<A>(s, d, n - n / 2, n / 2, kUpdate);
}

// One synthesis level of s (e) and d (o) into y (e + o), using work (e floats).
template <class A>
void inverse(const float* s, const float* d, std::size_t e, std::size_t o, float* work,
             float* y) {
    std::memcpy(work, s, e * sizeof(float));
    lifting::update<A>(work, d, e, o, -kUpdate);
    lifting::inverse_merge<A>(work, d, e, o, -kPredict, y);
}

}  // namespace Undra::cdf53
