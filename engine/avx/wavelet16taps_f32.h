// The 16-tap orthogonal filter bank, AVX2/FMA form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using AvxWavelet16TapsF32 = FixedTapsExecutor<16, Isa::Avx>;

}  // namespace Undra
