// Portable CDF 5/3 lifting executor.
#pragma once

#include "engine/lifting_transform.h"

namespace Undra {

struct Cdf53Lifting;

// CDF 5/3 on any x86-64 processor: each lifting update rounds its sum, product and sum separately.
using Cdf53 = LiftingTransform<Cdf53Lifting, Isa::Portable>;
extern template class LiftingTransform<Cdf53Lifting, Isa::Portable>;

}  // namespace Undra
