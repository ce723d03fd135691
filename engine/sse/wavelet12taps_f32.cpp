#include "engine/sse/sse_filter_kernels.h"

namespace Undra {

template FilterKernels sse_filter_kernels<12>();

}  // namespace Undra
