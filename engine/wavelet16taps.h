// The 16-tap orthogonal filter bank, portable form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using Wavelet16Taps = FixedTapsExecutor<16, Isa::Portable>;

}  // namespace Undra
