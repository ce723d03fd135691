// The 12-tap orthogonal filter bank, SSE4.2 form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using SseWavelet12TapsF32 = FixedTapsExecutor<12, Isa::Sse>;

}  // namespace Undra
