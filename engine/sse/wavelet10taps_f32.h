// The 10-tap orthogonal filter bank, SSE4.2 form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using SseWavelet10TapsF32 = FixedTapsExecutor<10, Isa::Sse>;

}  // namespace Undra
