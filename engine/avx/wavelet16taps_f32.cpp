#include "engine/avx/avx_filter_kernels.h"

namespace Undra {

template FilterKernels avx_filter_kernels<16>();

}  // namespace Undra
