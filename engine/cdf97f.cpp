#include "engine/cdf97f.h"

#include <memory>

#include "engine/avx/cdf97f.h"
#include "engine/cdf97_lifting.h"
#include "engine/lifting_portable.h"
#include "engine/undra.h"

namespace Undra {

Cdf97::Cdf97() : LiftingExecutor(cdf97::kShape) {}

void Cdf97::forward_kernel(const float* x, std::size_t n, float* s, float* d) const {
    cdf97::forward<lifting::PortableArith>(x, n, s, d);
}

void Cdf97::inverse_kernel(const float* s, const float* d, std::size_t e, std::size_t o,
                           float* work, float* y) const {
    cdf97::inverse<lifting::PortableArith>(s, d, e, o, work, y);
}

SharedDwtExecutor make_cdf97_f32() {
    return make_cdf97_f32(select_isa(false));
}

SharedDwtExecutor make_cdf97_f32(Isa isa) {
    // There is no SSE form: anything but Avx gets the portable executor.
    if (isa == Isa::Avx) return std::make_shared<const AvxCdf97>();
    return std::make_shared<const Cdf97>();
}

}  // namespace Undra
