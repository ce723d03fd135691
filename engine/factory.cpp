#include "engine/factory.h"

#include <memory>
#include <vector>

#include "engine/avx/wavelet10taps_f32.h"
#include "engine/avx/wavelet12taps_f32.h"
#include "engine/avx/wavelet16taps_f32.h"
#include "engine/avx/wavelet2taps_f32.h"
#include "engine/avx/wavelet4taps_f32.h"
#include "engine/avx/wavelet6taps_f32.h"
#include "engine/avx/wavelet8taps_f32.h"
#include "engine/avx/wavelet_n_taps_f32.h"
#include "engine/completed.h"
#include "engine/filter_tables.h"
#include "engine/sse/wavelet10taps_f32.h"
#include "engine/sse/wavelet12taps_f32.h"
#include "engine/sse/wavelet2taps_f32.h"
#include "engine/sse/wavelet4taps_f32.h"
#include "engine/sse/wavelet6taps_f32.h"
#include "engine/sse/wavelet8taps_f32.h"
#include "engine/sse/wavelet_n_taps_f32.h"
#include "engine/undra.h"
#include "engine/wavelet10taps.h"
#include "engine/wavelet12taps.h"
#include "engine/wavelet16taps.h"
#include "engine/wavelet2taps.h"
#include "engine/wavelet4taps.h"
#include "engine/wavelet6taps.h"
#include "engine/wavelet8taps.h"
#include "engine/wavelet_n_taps.h"

namespace Undra {

namespace {

// 16 taps has no dedicated SSE form; its SSE variant is the general SSE executor.
constexpr bool kHasSseForm(std::size_t taps) {
    return taps != 16;
}

template <std::size_t N>
SharedIncompleteDwtExecutor make_fixed(BorderMode border, std::span<const float, N> low,
                                       Isa isa = select_isa(true)) {
    switch (isa) {
        case Isa::Avx:
            return std::make_shared<FixedTapsExecutor<N, Isa::Avx>>(border, low);
        case Isa::Sse:
            if constexpr (kHasSseForm(N)) {
                return std::make_shared<FixedTapsExecutor<N, Isa::Sse>>(border, low);
            } else {
                return std::make_shared<SseWaveletNTapsF32>(border, low);
            }
        case Isa::Portable:
            break;
    }
    return std::make_shared<FixedTapsExecutor<N, Isa::Portable>>(border, low);
}

// The filter bank of a stored scaling filter, in 32-bit floats, through the constructor for its
// tap count, completed for multi-level use.
SharedDwtExecutor make_from_table(std::span<const double> table, BorderMode border, Isa isa) {
    const std::vector<float> low(table.begin(), table.end());
    SharedIncompleteDwtExecutor inner;
    switch (low.size()) {
        case 2:
            inner = DwtFactory::wavelet_2_taps(border, std::span<const float, 2>(low), isa);
            break;
        case 4:
            inner = DwtFactory::wavelet_4_taps(border, std::span<const float, 4>(low), isa);
            break;
        case 6:
            inner = DwtFactory::wavelet_6_taps(border, std::span<const float, 6>(low), isa);
            break;
        case 8:
            inner = DwtFactory::wavelet_8_taps(border, std::span<const float, 8>(low), isa);
            break;
        case 10:
            inner = DwtFactory::wavelet_10_taps(border, std::span<const float, 10>(low), isa);
            break;
        case 12:
            inner = DwtFactory::wavelet_12_taps(border, std::span<const float, 12>(low), isa);
            break;
        case 16:
            inner = DwtFactory::wavelet_16_taps(border, std::span<const float, 16>(low), isa);
            break;
        default:
            inner = DwtFactory::wavelet_n_taps(border, low, isa);
            break;
    }
    return std::make_shared<CompletedDwtExecutor>(std::move(inner));
}

}  // namespace

SharedIncompleteDwtExecutor DwtFactory::wavelet_2_taps(BorderMode border,
                                                       std::span<const float, 2> low_pass) {
    return make_fixed<2>(border, low_pass);
}

SharedIncompleteDwtExecutor DwtFactory::wavelet_2_taps(BorderMode border,
                                                       std::span<const float, 2> low_pass,
                                                       Isa isa) {
    return make_fixed<2>(border, low_pass, isa);
}

SharedIncompleteDwtExecutor DwtFactory::wavelet_4_taps(BorderMode border,
                                                       std::span<const float, 4> low_pass) {
    return make_fixed<4>(border, low_pass);
}

SharedIncompleteDwtExecutor DwtFactory::wavelet_4_taps(BorderMode border,
                                                       std::span<const float, 4> low_pass,
                                                       Isa isa) {
    return make_fixed<4>(border, low_pass, isa);
}

SharedIncompleteDwtExecutor DwtFactory::wavelet_6_taps(BorderMode border,
                                                       std::span<const float, 6> low_pass) {
    return make_fixed<6>(border, low_pass);
}

SharedIncompleteDwtExecutor DwtFactory::wavelet_6_taps(BorderMode border,
                                                       std::span<const float, 6> low_pass,
                                                       Isa isa) {
    return make_fixed<6>(border, low_pass, isa);
}

SharedIncompleteDwtExecutor DwtFactory::wavelet_8_taps(BorderMode border,
                                                       std::span<const float, 8> low_pass) {
    return make_fixed<8>(border, low_pass);
}

SharedIncompleteDwtExecutor DwtFactory::wavelet_8_taps(BorderMode border,
                                                       std::span<const float, 8> low_pass,
                                                       Isa isa) {
    return make_fixed<8>(border, low_pass, isa);
}

SharedIncompleteDwtExecutor DwtFactory::wavelet_10_taps(BorderMode border,
                                                        std::span<const float, 10> low_pass) {
    return make_fixed<10>(border, low_pass);
}

SharedIncompleteDwtExecutor DwtFactory::wavelet_10_taps(BorderMode border,
                                                        std::span<const float, 10> low_pass,
                                                        Isa isa) {
    return make_fixed<10>(border, low_pass, isa);
}

SharedIncompleteDwtExecutor DwtFactory::wavelet_12_taps(BorderMode border,
                                                        std::span<const float, 12> low_pass) {
    return make_fixed<12>(border, low_pass);
}

SharedIncompleteDwtExecutor DwtFactory::wavelet_12_taps(BorderMode border,
                                                        std::span<const float, 12> low_pass,
                                                        Isa isa) {
    return make_fixed<12>(border, low_pass, isa);
}

SharedIncompleteDwtExecutor DwtFactory::wavelet_16_taps(BorderMode border,
                                                        std::span<const float, 16> low_pass) {
    return make_fixed<16>(border, low_pass);
}

SharedIncompleteDwtExecutor DwtFactory::wavelet_16_taps(BorderMode border,
                                                        std::span<const float, 16> low_pass,
                                                        Isa isa) {
    return make_fixed<16>(border, low_pass, isa);
}

SharedIncompleteDwtExecutor DwtFactory::wavelet_n_taps(BorderMode border,
                                                       std::span<const float> low_pass) {
    return wavelet_n_taps(border, low_pass, select_isa(true));
}

SharedIncompleteDwtExecutor DwtFactory::wavelet_n_taps(BorderMode border,
                                                       std::span<const float> low_pass, Isa isa) {
    switch (isa) {
        case Isa::Avx:
            return std::make_shared<AvxWaveletNTapsF32>(border, low_pass);
        case Isa::Sse:
            return std::make_shared<SseWaveletNTapsF32>(border, low_pass);
        case Isa::Portable:
            break;
    }
    return std::make_shared<WaveletNTaps>(border, low_pass);
}

SharedDwtExecutor make_daubechies_f32(DaubechiesFamily order, BorderMode border) {
    return make_daubechies_f32(order, border, select_isa(true));
}

SharedDwtExecutor make_daubechies_f32(DaubechiesFamily order, BorderMode border, Isa isa) {
    return make_from_table(daubechies_table(order), border, isa);
}

SharedDwtExecutor make_symlet_f32(SymletFamily order, BorderMode border) {
    return make_symlet_f32(order, border, select_isa(true));
}

SharedDwtExecutor make_symlet_f32(SymletFamily order, BorderMode border, Isa isa) {
    return make_from_table(symlet_table(order), border, isa);
}

}  // namespace Undra
