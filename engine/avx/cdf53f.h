// CDF 5/3 lifting executor for processors with AVX2 and FMA; the declaration needs no intrinsics,
// only the definitions in avx/cdf53f.cpp are compiled for that instruction set.
#pragma once

#include <cstddef>

#include "engine/lifting_executor.h"

namespace Undra {

// CDF 5/3 with 256-bit vectors: each lifting update rounds its sum, then one fused multiply-add.
class AvxCdf53 final : public LiftingExecutor {
  public:
    AvxCdf53();

  protected:
    void forward_kernel(const float* x, std::size_t n, float* s, float* d) const override;
    void inverse_kernel(const float* s, const float* d, std::size_t e, std::size_t o, float* work,
                        float* y) const override;
};

}  // namespace Undra
