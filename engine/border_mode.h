// Extension of a signal beyond its ends by a BorderMode: the index rules every filter-bank
// executor and the padding-arena writer share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/executor.h"
#include "engine/fast_divide.h"

namespace Undra {

// The extended signal x̃ of one n-sample signal under one mode, prepared once per call: the
// divider for the mode's period is computed here, not per sample.
class BorderInterpolation {
  public:
    // Prepares the extension of an n-sample signal (n >= 1).
    BorderInterpolation(BorderMode mode, std::size_t n);

    // The index in 0..n-1 that x̃[s] reads, or -1 when x̃[s] is zero (Zeros outside the signal).
    int64_t source_index(int64_t s) const;

    // Writes x̃[first], ..., x̃[first + count - 1] of the signal x to out.
    void gather(const float* x, int64_t first, std::size_t count, float* out) const;

  private:
    BorderMode mode_;
    int64_t n_;
    DividerI64 period_;  // n for Wrap, 2n for Reflect, 2n-2 for Reflect101, else 1
};

}  // namespace Undra
