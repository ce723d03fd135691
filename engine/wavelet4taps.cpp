#include "engine/portable_filter_kernels.h"

namespace Undra {

template FilterKernels portable_filter_kernels<4>();

}  // namespace Undra
