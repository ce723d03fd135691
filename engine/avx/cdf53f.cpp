#include "engine/avx/cdf53f.h"

#include "engine/avx/lifting_avx.h"
#include "engine/cdf53_lifting.h"
#include "engine/lifting_transform_kernels.h"

namespace Undra {

template class LiftingTransform<Cdf53Lifting, Isa::Avx>;

}  // namespace Undra
