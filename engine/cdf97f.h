// Portable CDF 9/7 lifting executor.
#pragma once

#include <cstddef>

#include "engine/lifting_executor.h"

namespace Undra {

// CDF 9/7 on any x86-64 processor: each lifting update rounds its sum, product and sum separately.
class Cdf97 final : public LiftingExecutor {
  public:
    Cdf97();

  protected:
    void forward_kernel(const float* x, std::size_t n, float* s, float* d) const override;
    void inverse_kernel(const float* s, const float* d, std::size_t e, std::size_t o, float* work,
                        float* y) const override;
};

}  // namespace Undra
