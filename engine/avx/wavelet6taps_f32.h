// The 6-tap orthogonal filter bank, AVX2/FMA form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using AvxWavelet6TapsF32 = FixedTapsExecutor<6, Isa::Avx>;

}  // namespace Undra
