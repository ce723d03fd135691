// Constant orthonormal scaling filters of the orthogonal filter banks: every table sums to
// sqrt2 and its squares sum to 1. The high-pass filter is derived from these by the executors.
#pragma once

#include <span>

#include "engine/undra.h"

namespace Undra {

// The Daubechies (extremal-phase) scaling filter db(v+1) for order value v: 2(v+1) taps,
// minimum-phase order (h[0] > 0, the large coefficients first), exact to double precision.
std::span<const double> daubechies_table(DaubechiesFamily order);

// The least-asymmetric scaling filter sym(v+2) for order value v: 2v+4 taps.
std::span<const double> symlet_table(SymletFamily order);

}  // namespace Undra
