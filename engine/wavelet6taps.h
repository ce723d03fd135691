// The 6-tap orthogonal filter bank, portable form.
#pragma once

#include "engine/fixed_taps.h"

namespace Undra {

using Wavelet6Taps = FixedTapsExecutor<6, Isa::Portable>;

}  // namespace Undra
