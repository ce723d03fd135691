#include "engine/cdf53f.h"

#include <memory>

#include "engine/avx/cdf53f.h"
#include "engine/cdf53_lifting.h"
#include "engine/lifting_portable.h"
#include "engine/lifting_transform_kernels.h"
#include "engine/undra.h"

namespace Undra {

template class LiftingTransform<Cdf53Lifting, Isa::Portable>;

SharedDwtExecutor make_cdf53_f32() {
    return make_cdf53_f32(select_isa(PathRule::ExecutorWithoutSse));
}

SharedDwtExecutor make_cdf53_f32(Isa isa) {
    // There is no SSE form: anything but Avx gets the portable executor.
#if UNDRA_X86_VARIANTS
    if (isa == Isa::Avx) return std::make_shared<const AvxCdf53>();
#else
    (void)isa;
#endif
    return std::make_shared<const Cdf53>();
}

}  // namespace Undra
