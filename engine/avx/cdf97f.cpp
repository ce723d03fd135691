#include "engine/avx/cdf97f.h"

#include "engine/avx/lifting_avx.h"
#include "engine/cdf97_lifting.h"
#include "engine/lifting_transform_kernels.h"

namespace Undra {

template class LiftingTransform<Cdf97Lifting, Isa::Avx>;

}  // namespace Undra
