// The general filter bank (any tap count), AVX2/FMA form.
#pragma once

#include "engine/wavelet_n_taps.h"

namespace Undra {

using AvxWaveletNTapsF32 = GeneralTapsExecutor<Isa::Avx>;

}  // namespace Undra
