// CDF 9/7 lifting executor for processors with AVX2 and FMA; the declaration needs no intrinsics,
// only the definitions in avx/cdf97f.cpp are compiled for that instruction set.
#pragma once

#include <cstddef>

#include "engine/lifting_executor.h"

namespace Undra {

// CDF 9/7 with 256-bit vectors: each lifting update rounds its sum, then one fused multiply-add.
class AvxCdf97 final : public LiftingExecutor {
  public:
    AvxCdf97();

  protected:
    void forward_kernel(const float* x, std::size_t n, float* s, float* d) const override;
    void inverse_kernel(const float* s, const float* d, std::size_t e, std::size_t o, float* work,
                        float* y) const override;
};

}  // namespace Undra
