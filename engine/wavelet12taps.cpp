#include "engine/portable_filter_kernels.h"

namespace Undra {

template FilterKernels portable_filter_kernels<12>();

}  // namespace Undra
