#include "engine/avx/cdf53f.h"

#include "engine/avx/lifting_avx.h"
#include "engine/cdf53_lifting.h"

namespace Undra {

AvxCdf53::AvxCdf53() : LiftingExecutor(cdf53::kShape) {}

void AvxCdf53::forward_kernel(const float* x, std::size_t n, float* s, float* d) const {
    cdf53::forward<lifting::AvxArith>(x, n, s, d);
}

void AvxCdf53::inverse_kernel(const float* s, const float* d, std::size_t e, std::size_t o,
                              float* work, float* y) const {
    cdf53::inverse<lifting::AvxArith>(s, d, e, o, work, y);
}

}  // namespace Undra
