#include "engine/portable_filter_kernels.h"

namespace Undra {

template FilterKernels portable_filter_kernels<2>();

}  // namespace Undra
