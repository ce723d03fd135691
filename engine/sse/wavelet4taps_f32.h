// The 4-tap orthogonal filter bank, SSE4.2 form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using SseWavelet4TapsF32 = FixedTapsExecutor<4, Isa::Sse>;

}  // namespace Undra
