// The 2-tap orthogonal filter bank, portable form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using Wavelet2Taps = FixedTapsExecutor<2, Isa::Portable>;

}  // namespace Undra
