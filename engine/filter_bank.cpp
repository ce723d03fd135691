#include "engine/filter_bank.h"

namespace Undra {

void low_pass_to_high(std::span<const float> low, std::span<float> high) {
    const std::size_t n = low.size();
    for (std::size_t k = 0; k < n; ++k) {
        const float h = low[n - 1 - k];
        high[k] = k % 2 == 0 ? h : -h;
    }
}

std::size_t filter_bank_half_length(std::size_t n, std::size_t taps) {
    if (n == 0) return taps == 0 ? 0 : (taps - 1) / 2;
    // (n + N - 1) / 2 split into halves so that no sum can wrap.
    const std::size_t s = n - 1;
    return s / 2 + taps / 2 + ((s % 2) + (taps % 2)) / 2;
}

std::size_t filter_bank_idwt_size(std::size_t a, std::size_t taps) {
    if (a > (SIZE_MAX - 2) / 2) return SIZE_MAX;
    return 2 * a + 2 < taps ? 0 : 2 * a + 2 - taps;
}

std::size_t filter_bank_arena_length(std::size_t n, std::size_t taps) {
    const std::size_t m = filter_bank_half_length(n, taps);
    if (m > (SIZE_MAX - taps) / 2) return SIZE_MAX;
    return 2 * m + (taps >= 2 ? taps - 2 : 0);
}

UndraStatus check_analysis_sizes(std::size_t n, std::size_t taps, std::size_t approx_length,
                                 std::size_t details_length) {
    if (n < taps) return undra_fail(UndraErrorKind::InputTooSmall, n, taps);
    const std::size_t m = filter_bank_half_length(n, taps);
    if (approx_length != m) return undra_fail(UndraErrorKind::HalfLengthMismatch, approx_length);
    if (details_length != approx_length) {
        return undra_fail(UndraErrorKind::HalfLengthMismatch, details_length);
    }
    return {};
}

UndraStatus filter_bank_synthesise(const FilterKernels& kernels, std::span<const float> low,
                                   std::span<const float> high,
                                   std::span<const float> approximations,
                                   std::span<const float> details, std::span<float> out) {
    const std::size_t a = approximations.size();
    const std::size_t taps = low.size();
    if (a != details.size()) {
        return undra_fail(UndraErrorKind::ApproxDetailsMismatch, a, details.size());
    }
    // Fewer than N/2 - 1 coefficients cannot cover one output sample: 2a - N + 2 would be
    // negative.
    const std::size_t half = taps / 2;
    if (a + 1 < half) return undra_fail(UndraErrorKind::InputTooSmall, a, half - 1);
    const std::size_t expected = filter_bank_idwt_size(a, taps);
    if (out.size() != expected) {
        return undra_fail(UndraErrorKind::OutputSizeMismatch, out.size(), expected);
    }
    // Every output sample 0..M-1 has all its coefficients inside the arrays, so the kernel runs
    // over the whole output with no border handling: output pairs q = 0 .. a - N/2.
    const std::size_t pairs = expected / 2;
    if (pairs > 0) {
        kernels.synthesise(approximations.data(), details.data(), pairs, taps, low.data(),
                           high.data(), out.data());
    }
    return {};
}

}  // namespace Undra
