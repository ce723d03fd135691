// The 4-tap orthogonal filter bank, AVX2/FMA form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using AvxWavelet4TapsF32 = FixedTapsExecutor<4, Isa::Avx>;

}  // namespace Undra
