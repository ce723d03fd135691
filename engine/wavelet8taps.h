// The 8-tap orthogonal filter bank, portable form (the reference member of the family).
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using Wavelet8Taps = FixedTapsExecutor<8, Isa::Portable>;

}  // namespace Undra
