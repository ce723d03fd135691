// The 6-tap orthogonal filter bank, SSE4.2 form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using SseWavelet6TapsF32 = FixedTapsExecutor<6, Isa::Sse>;

}  // namespace Undra
