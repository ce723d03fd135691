#include "engine/cdf97f.h"

#include <memory>

#include "engine/avx/cdf97f.h"
#include "engine/cdf97_lifting.h"
#include "engine/lifting_portable.h"
#include "engine/lifting_transform_kernels.h"
#include "engine/undra.h"

namespace Undra {

template class LiftingTransform<Cdf97Lifting, Isa::Portable>;

SharedDwtExecutor make_cdf97_f32() {
    return make_cdf97_f32(select_isa(PathRule::ExecutorWithoutSse));
}

SharedDwtExecutor make_cdf97_f32(Isa isa) {
    // There is no SSE form: anything but Avx gets the portable executor.
#if UNDRA_X86_VARIANTS
    if (isa == Isa::Avx) return std::make_shared<const AvxCdf97>();
#else
    (void)isa;
#endif
    return std::make_shared<const Cdf97>();
}

}  // namespace Undra
