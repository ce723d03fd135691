// CDF 5/3 lifting executor for processors with AVX2 and FMA; the declaration needs no intrinsics,
// only its instantiation in avx/cdf53f.cpp is compiled for that instruction set.
#pragma once

#include "engine/lifting_transform.h"

namespace Undra {

struct Cdf53Lifting;

// CDF 5/3 with 256-bit vectors: each lifting update rounds its sum, then one fused multiply-add.
using AvxCdf53 = LiftingTransform<Cdf53Lifting, Isa::Avx>;
extern template class LiftingTransform<Cdf53Lifting, Isa::Avx>;

}  // namespace Undra
