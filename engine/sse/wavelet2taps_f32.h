// The 2-tap orthogonal filter bank, SSE4.2 form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using SseWavelet2TapsF32 = FixedTapsExecutor<2, Isa::Sse>;

}  // namespace Undra
