// The lifting executors: one class over a lifting scheme (Cdf97Lifting, Cdf53Lifting) and the
// instruction set whose arithmetic runs its steps. The members are defined in
// lifting_transform_kernels.h and instantiated only by the module of each variant (cdf97f,
// avx/cdf97f, ...), so vector code is compiled only where its instruction set is enabled.
#pragma once

#include <cstddef>

#include "engine/lifting_executor.h"
#include "engine/util.h"

namespace Undra {

template <class Scheme, Isa I>
class LiftingTransform final : public LiftingExecutor {
  public:
    LiftingTransform();

  protected:
    void forward_kernel(const float* x, std::size_t n, float* s, float* d) const override;
    void inverse_kernel(const float* s, const float* d, std::size_t e, std::size_t o,
                        float* y) const override;
};

}  // namespace Undra
