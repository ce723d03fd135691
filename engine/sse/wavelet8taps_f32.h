// The 8-tap orthogonal filter bank, SSE4.2 form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using SseWavelet8TapsF32 = FixedTapsExecutor<8, Isa::Sse>;

}  // namespace Undra
