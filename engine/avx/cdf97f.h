// CDF 9/7 lifting executor for processors with AVX2 and FMA; the declaration needs no intrinsics,
// only its instantiation in avx/cdf97f.cpp is compiled for that instruction set.
#pragma once

#include "engine/lifting_transform.h"

namespace Undra {

struct Cdf97Lifting;

// CDF 9/7 with 256-bit vectors: each lifting update rounds its sum, then one fused multiply-add.
using AvxCdf97 = LiftingTransform<Cdf97Lifting, Isa::Avx>;
extern template class LiftingTransform<Cdf97Lifting, Isa::Avx>;

}  // namespace Undra
