#include "engine/avx/cdf97f.h"

#include "engine/avx/lifting_avx.h"
#include "engine/cdf97_lifting.h"

namespace Undra {

AvxCdf97::AvxCdf97() : LiftingExecutor(cdf97::kShape) {}

void AvxCdf97::forward_kernel(const float* x, std::size_t n, float* s, float* d) const {
    cdf97::forward<lifting::AvxArith>(x, n, s, d);
}

void AvxCdf97::inverse_kernel(const float* s, const float* d, std::size_t e, std::size_t o,
                              float* work, float* y) const {
    cdf97::inverse<lifting::AvxArith>(s, d, e, o, work, y);
}

}  // namespace Undra
