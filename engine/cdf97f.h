// Portable CDF 9/7 lifting executor.
#pragma once

#include "engine/lifting_transform.h"

namespace Undra {

struct Cdf97Lifting;

// CDF 9/7 on any x86-64 processor: each lifting update rounds its sum, product and sum separately.
using Cdf97 = LiftingTransform<Cdf97Lifting, Isa::Portable>;
extern template class LiftingTransform<Cdf97Lifting, Isa::Portable>;

}  // namespace Undra
