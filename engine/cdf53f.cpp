#include "engine/cdf53f.h"

#include <memory>

#include "engine/avx/cdf53f.h"
#include "engine/cdf53_lifting.h"
#include "engine/lifting_portable.h"
#include "engine/undra.h"

namespace Undra {

Cdf53::Cdf53() : LiftingExecutor(cdf53::kShape) {}

void Cdf53::forward_kernel(const float* x, std::size_t n, float* s, float* d) const {
    cdf53::forward<lifting::PortableArith>(x, n, s, d);
}

void Cdf53::inverse_kernel(const float* s, const float* d, std::size_t e, std::size_t o,
                           float* work, float* y) const {
    cdf53::inverse<lifting::PortableArith>(s, d, e, o, work, y);
}

SharedDwtExecutor make_cdf53_f32() {
    return make_cdf53_f32(select_isa(false));
}

SharedDwtExecutor make_cdf53_f32(Isa isa) {
    // There is no SSE form: anything but Avx gets the portable executor.
    if (isa == Isa::Avx) return std::make_shared<const AvxCdf53>();
    return std::make_shared<const Cdf53>();
}

}  // namespace Undra
