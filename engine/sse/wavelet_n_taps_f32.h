// The general filter bank (any tap count), SSE4.2 form.
#pragma once

#include "engine/wavelet_n_taps.h"

namespace Undra {

using SseWaveletNTapsF32 = GeneralTapsExecutor<Isa::Sse>;

}  // namespace Undra
