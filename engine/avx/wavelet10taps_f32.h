// The 10-tap orthogonal filter bank, AVX2/FMA form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using AvxWavelet10TapsF32 = FixedTapsExecutor<10, Isa::Avx>;

}  // namespace Undra
