// The 4-tap orthogonal filter bank, portable form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using Wavelet4Taps = FixedTapsExecutor<4, Isa::Portable>;

}  // namespace Undra
