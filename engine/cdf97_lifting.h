// The CDF 9/7 lifting scheme (Daubechies-Sweldens factorisation, analysis gain sqrt(2) at zero
// frequency), written once over an arithmetic back end; see lifting_steps.h.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "engine/lifting_executor.h"
#include "engine/lifting_steps.h"

namespace Undra::cdf97 {

inline constexpr float kAlpha = std::bit_cast<float>(uint32_t{0xBFCB0673});  // first predict
inline constexpr float kBeta = std::bit_cast<float>(uint32_t{0xBD5901AE});   // first update
inline constexpr float kGamma = std::bit_cast<float>(uint32_t{0x3F620676});  // second predict
inline constexpr float kDelta = std::bit_cast<float>(uint32_t{0x3EE31355});  // second update
inline constexpr float kScale = std::bit_cast<float>(uint32_t{0x3F93263D});  // approximations
// Its own constant, one ulp above the rounded reciprocal of kScale.
inline constexpr float kDetailScale = std::bit_cast<float>(uint32_t{0x3F5EAF70});

// Signals of 4 samples and more; the inverse needs working copies of both coefficient arrays.
inline constexpr LiftingShape kShape{4, 10, true};

// One analysis level of x (n >= 4) into s (ceil(n/2)) and d (floor(n/2)).
template <class A>
void forward(const float* x, std::size_t n, float* s, float* d) {
    const std::size_t e = n - n / 2;
    const std::size_t o = n / 2;
    lifting::forward_split<A>(x, n, s, d, kAlpha);
    lifting::update<A>(s, d, e, o, kBeta);
    lifting::predict<A>(d, s, e, o, kGamma);
    lifting::update<A>(s, d, e, o, kDelta);
    A::scale(s, e, kScale);
    A::scale(d, o, kDetailScale);
}

// One synthesis level of s (e) and d (o) into y (e + o), using work (e + o floats).
template <class A>
void inverse(const float* s, const float* d, std::size_t e, std::size_t o, float* work,
             float* y) {
    float* ws = work;
    float* wd = work + e;
    A::scale_copy(ws, s, e, kDetailScale);
    A::scale_copy(wd, d, o, kScale);
    lifting::update<A>(ws, wd, e, o, -kDelta);
    lifting::predict<A>(wd, ws, e, o, -kGamma);
    lifting::update<A>(ws, wd, e, o, -kBeta);
    lifting::inverse_merge<A>(ws, wd, e, o, -kAlpha, y);
}

}  // namespace Undra::cdf97
