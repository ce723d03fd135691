// The 2-tap orthogonal filter bank, AVX2/FMA form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using AvxWavelet2TapsF32 = FixedTapsExecutor<2, Isa::Avx>;

}  // namespace Undra
