// Constructors of the orthogonal filter-bank executors. Each derives the high-pass filter from
// the given low-pass one and picks the variant for this processor (AVX2+FMA, else SSE4.2, else
// portable); the overloads taking an Isa build that variant (the caller checks support).
#pragma once

#include <span>

#include "engine/executor.h"
#include "engine/util.h"

namespace Undra {

class DwtFactory {
  public:
    // 2-tap filter bank.
    static SharedIncompleteDwtExecutor wavelet_2_taps(BorderMode border,
                                                      std::span<const float, 2> low_pass);
    static SharedIncompleteDwtExecutor wavelet_2_taps(BorderMode border,
                                                      std::span<const float, 2> low_pass, Isa isa);
    // 4-tap filter bank.
    static SharedIncompleteDwtExecutor wavelet_4_taps(BorderMode border,
                                                      std::span<const float, 4> low_pass);
    static SharedIncompleteDwtExecutor wavelet_4_taps(BorderMode border,
                                                      std::span<const float, 4> low_pass, Isa isa);
    // 6-tap filter bank.
    static SharedIncompleteDwtExecutor wavelet_6_taps(BorderMode border,
                                                      std::span<const float, 6> low_pass);
    static SharedIncompleteDwtExecutor wavelet_6_taps(BorderMode border,
                                                      std::span<const float, 6> low_pass, Isa isa);
    // 8-tap filter bank.
    static SharedIncompleteDwtExecutor wavelet_8_taps(BorderMode border,
                                                      std::span<const float, 8> low_pass);
    static SharedIncompleteDwtExecutor wavelet_8_taps(BorderMode border,
                                                      std::span<const float, 8> low_pass, Isa isa);
    // 10-tap filter bank.
    static SharedIncompleteDwtExecutor wavelet_10_taps(BorderMode border,
                                                       std::span<const float, 10> low_pass);
    static SharedIncompleteDwtExecutor wavelet_10_taps(BorderMode border,
                                                       std::span<const float, 10> low_pass,
                                                       Isa isa);
    // 12-tap filter bank.
    static SharedIncompleteDwtExecutor wavelet_12_taps(BorderMode border,
                                                       std::span<const float, 12> low_pass);
    static SharedIncompleteDwtExecutor wavelet_12_taps(BorderMode border,
                                                       std::span<const float, 12> low_pass,
                                                       Isa isa);
    // 16-tap filter bank; there is no dedicated SSE form, so Sse gives the general SSE executor.
    static SharedIncompleteDwtExecutor wavelet_16_taps(BorderMode border,
                                                       std::span<const float, 16> low_pass);
    static SharedIncompleteDwtExecutor wavelet_16_taps(BorderMode border,
                                                       std::span<const float, 16> low_pass,
                                                       Isa isa);
    // General filter bank of low_pass.size() taps (even and non-zero, else it fails with
    // InvalidWavelet on use), working in a padding arena.
    static SharedIncompleteDwtExecutor wavelet_n_taps(BorderMode border,
                                                      std::span<const float> low_pass);
    static SharedIncompleteDwtExecutor wavelet_n_taps(BorderMode border,
                                                      std::span<const float> low_pass, Isa isa);
};

}  // namespace Undra
