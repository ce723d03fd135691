// Constructors of the orthogonal filter-bank executors. Each derives the high-pass filter from
// the given low-pass one and, by default, builds the variant select_isa picks (processor_path.h);
// an explicit Isa builds that variant (the caller checks support), except
// in builds without the x86 variants, which build the portable one for every Isa.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <utility>

#include "engine/executor.h"
#include "engine/fixed_taps.h"
#include "engine/sse/wavelet_n_taps_f32.h"
#include "engine/util.h"

namespace Undra {

// The tap counts with an executor of their own (FixedTapsExecutor); any other count goes to the
// general one.
using FixedTapCounts = std::index_sequence<2, 4, 6, 8, 10, 12, 16>;

class DwtFactory {
  public:
    // Filter bank of N taps, N one of FixedTapCounts; the named constructors below are its
    // instances. 16 taps has no dedicated SSE form, so Sse gives the general SSE executor.
    template <std::size_t N>
    static SharedIncompleteDwtExecutor wavelet_taps(BorderMode border,
                                                    std::span<const float, N> low_pass,
                                                    Isa isa = select_isa());

    static SharedIncompleteDwtExecutor wavelet_2_taps(BorderMode border,
                                                      std::span<const float, 2> low_pass,
                                                      Isa isa = select_isa()) {
        return wavelet_taps<2>(border, low_pass, isa);
    }
    static SharedIncompleteDwtExecutor wavelet_4_taps(BorderMode border,
                                                      std::span<const float, 4> low_pass,
                                                      Isa isa = select_isa()) {
        return wavelet_taps<4>(border, low_pass, isa);
    }
    static SharedIncompleteDwtExecutor wavelet_6_taps(BorderMode border,
                                                      std::span<const float, 6> low_pass,
                                                      Isa isa = select_isa()) {
        return wavelet_taps<6>(border, low_pass, isa);
    }
    static SharedIncompleteDwtExecutor wavelet_8_taps(BorderMode border,
                                                      std::span<const float, 8> low_pass,
                                                      Isa isa = select_isa()) {
        return wavelet_taps<8>(border, low_pass, isa);
    }
    static SharedIncompleteDwtExecutor wavelet_10_taps(BorderMode border,
                                                       std::span<const float, 10> low_pass,
                                                       Isa isa = select_isa()) {
        return wavelet_taps<10>(border, low_pass, isa);
    }
    static SharedIncompleteDwtExecutor wavelet_12_taps(BorderMode border,
                                                       std::span<const float, 12> low_pass,
                                                       Isa isa = select_isa()) {
        return wavelet_taps<12>(border, low_pass, isa);
    }
    static SharedIncompleteDwtExecutor wavelet_16_taps(BorderMode border,
                                                       std::span<const float, 16> low_pass,
                                                       Isa isa = select_isa()) {
        return wavelet_taps<16>(border, low_pass, isa);
    }

    // General filter bank of low_pass.size() taps (even and non-zero, else it fails with
    // InvalidWavelet on use), working in a padding arena.
    static SharedIncompleteDwtExecutor wavelet_n_taps(BorderMode border,
                                                      std::span<const float> low_pass,
                                                      Isa isa = select_isa());
};

template <std::size_t N>
SharedIncompleteDwtExecutor DwtFactory::wavelet_taps(BorderMode border,
                                                     std::span<const float, N> low_pass, Isa isa) {
    if constexpr (kX86VariantsBuilt) {
        switch (isa) {
            case Isa::Avx:
                return std::make_shared<FixedTapsExecutor<N, Isa::Avx>>(border, low_pass);
            case Isa::Sse:
                if constexpr (N != 16) {
                    return std::make_shared<FixedTapsExecutor<N, Isa::Sse>>(border, low_pass);
                } else {
                    return std::make_shared<SseWaveletNTapsF32>(border, low_pass);
                }
            case Isa::Portable:
                break;
        }
    }
    return std::make_shared<FixedTapsExecutor<N, Isa::Portable>>(border, low_pass);
}

}  // namespace Undra
