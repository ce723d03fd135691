// The 8-tap orthogonal filter bank, AVX2/FMA form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using AvxWavelet8TapsF32 = FixedTapsExecutor<8, Isa::Avx>;

}  // namespace Undra
