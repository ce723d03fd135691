#include "engine/factory.h"

#include <memory>
#include <utility>
#include <vector>

#include "engine/avx/wavelet_n_taps_f32.h"
#include "engine/completed.h"
#include "engine/filter_tables.h"
#include "engine/sse/wavelet_n_taps_f32.h"
#include "engine/undra.h"
#include "engine/wavelet_n_taps.h"

namespace Undra {

namespace {

// The filter bank for low.size() taps: the fixed-taps constructor when one of `counts` matches,
// else the general one.
template <std::size_t... Counts>
SharedIncompleteDwtExecutor by_tap_count(BorderMode border, std::span<const float> low, Isa isa,
                                         std::index_sequence<Counts...>) {
    SharedIncompleteDwtExecutor inner;
    ((low.size() == Counts &&
      (inner = DwtFactory::wavelet_taps<Counts>(border, low.first<Counts>(), isa))) ||
     ...);
    return inner ? inner : DwtFactory::wavelet_n_taps(border, low, isa);
}

// The filter bank of a stored scaling filter, in 32-bit floats, through the constructor for its
// tap count, completed for multi-level use.
SharedDwtExecutor make_from_table(std::span<const double> table, BorderMode border, Isa isa) {
    const std::vector<float> low(table.begin(), table.end());
    return std::make_shared<CompletedDwtExecutor>(by_tap_count(border, low, isa, FixedTapCounts{}));
}

}  // namespace

SharedIncompleteDwtExecutor DwtFactory::wavelet_n_taps(BorderMode border,
                                                       std::span<const float> low_pass, Isa isa) {
#if UNDRA_X86_VARIANTS
    switch (isa) {
        case Isa::Avx:
            return std::make_shared<AvxWaveletNTapsF32>(border, low_pass);
        case Isa::Sse:
            return std::make_shared<SseWaveletNTapsF32>(border, low_pass);
        case Isa::Portable:
            break;
    }
#else
    (void)isa;
#endif
    return std::make_shared<WaveletNTaps>(border, low_pass);
}

SharedDwtExecutor make_daubechies_f32(DaubechiesFamily order, BorderMode border) {
    return make_daubechies_f32(order, border, select_isa());
}

SharedDwtExecutor make_daubechies_f32(DaubechiesFamily order, BorderMode border, Isa isa) {
    return make_from_table(daubechies_table(order), border, isa);
}

SharedDwtExecutor make_symlet_f32(SymletFamily order, BorderMode border) {
    return make_symlet_f32(order, border, select_isa());
}

SharedDwtExecutor make_symlet_f32(SymletFamily order, BorderMode border, Isa isa) {
    return make_from_table(symlet_table(order), border, isa);
}

}  // namespace Undra
