// The 12-tap orthogonal filter bank, AVX2/FMA form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using AvxWavelet12TapsF32 = FixedTapsExecutor<12, Isa::Avx>;

}  // namespace Undra
