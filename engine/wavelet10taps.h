// The 10-tap orthogonal filter bank, portable form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using Wavelet10Taps = FixedTapsExecutor<10, Isa::Portable>;

}  // namespace Undra
