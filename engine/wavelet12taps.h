// The 12-tap orthogonal filter bank, portable form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using Wavelet12Taps = FixedTapsExecutor<12, Isa::Portable>;

}  // namespace Undra
