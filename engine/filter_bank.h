// What every orthogonal filter-bank executor shares, whatever its tap count and variant: sizes,
// argument checks, synthesis and the derivation of the high-pass filter.
#pragma once

#include <cstddef>
#include <span>

#include "engine/err.h"
#include "engine/filter_kernels.h"

namespace Undra {

// g[k] = h[N-1-k] for even k, -h[N-1-k] for odd k (the sign flip is exact); high.size() == N.
void low_pass_to_high(std::span<const float> low, std::span<float> high);

// Coefficients per channel for an n-sample input and N taps: (n + N - 1) / 2, without overflow.
std::size_t filter_bank_half_length(std::size_t n, std::size_t taps);

// Reconstructed length 2a - N + 2 for a coefficients per channel; 0 when 2a < N - 2, where no
// sample can be reconstructed (synthesis then fails with InputTooSmall).
std::size_t filter_bank_idwt_size(std::size_t a, std::size_t taps);

// Padding-arena length N - 2 + 2·m of the general executors; saturates instead of wrapping.
std::size_t filter_bank_arena_length(std::size_t n, std::size_t taps);

// The analysis checks, in order: InputTooSmall (n, N), then HalfLengthMismatch for the
// approximations length, then for a differing details length.
UndraStatus check_analysis_sizes(std::size_t n, std::size_t taps, std::size_t approx_length,
                                 std::size_t details_length);

// One level of synthesis after its checks (ApproxDetailsMismatch, InputTooSmall when
// 2a < N - 2, OutputSizeMismatch); adds into out, which is left untouched on failure.
UndraStatus filter_bank_synthesise(const FilterKernels& kernels, std::span<const float> low,
                                   std::span<const float> high,
                                   std::span<const float> approximations,
                                   std::span<const float> details, std::span<float> out);

}  // namespace Undra
