// Test helpers for the filter-bank executors: orthonormal filters of any even length, a
// constructor by tap count and variant, and readable names for parameters.
#pragma once

#include <cmath>
#include <cstddef>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "engine/factory.h"
#include "engine/util.h"

namespace Undra::testing_support {

// A low-pass filter of `taps` (even) coefficients that is orthonormal to its own even shifts,
// built as a lattice of rotations so that any tap count has one: the polyphase matrix is
// R(θ_K) Λ(z) ... Λ(z) R(θ_0) with Λ(z) = diag(1, z^-1), which is paraunitary.
inline std::vector<float> lattice_filter(std::size_t taps, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> angle(-3.0, 3.0);
    const std::size_t degree = taps / 2;  // polynomial length per polyphase entry
    // e[r][c] is a polynomial in z^-1 with `degree` coefficients.
    std::vector<std::vector<std::vector<double>>> e(
        2, std::vector<std::vector<double>>(2, std::vector<double>(degree, 0.0)));
    const double t0 = angle(rng);
    e[0][0][0] = std::cos(t0);
    e[0][1][0] = -std::sin(t0);
    e[1][0][0] = std::sin(t0);
    e[1][1][0] = std::cos(t0);
    for (std::size_t stage = 1; stage < degree; ++stage) {
        for (std::size_t c = 0; c < 2; ++c) {  // delay row 1
            for (std::size_t k = degree - 1; k > 0; --k) e[1][c][k] = e[1][c][k - 1];
            e[1][c][0] = 0.0;
        }
        const double t = angle(rng);
        const double cs = std::cos(t), sn = std::sin(t);
        for (std::size_t c = 0; c < 2; ++c) {
            for (std::size_t k = 0; k < degree; ++k) {
                const double r0 = e[0][c][k], r1 = e[1][c][k];
                e[0][c][k] = cs * r0 - sn * r1;
                e[1][c][k] = sn * r0 + cs * r1;
            }
        }
    }
    std::vector<float> h(taps);
    for (std::size_t k = 0; k < degree; ++k) {
        h[2 * k] = static_cast<float>(e[0][0][k]);
        h[2 * k + 1] = static_cast<float>(e[0][1][k]);
    }
    return h;
}

// The executor for low_pass.size() taps in variant isa, through the DwtFactory constructor of
// that tap count (the general one for counts without their own).
inline SharedIncompleteDwtExecutor make_bank(std::span<const float> low, BorderMode border,
                                             Isa isa) {
    switch (low.size()) {
        case 2:
            return DwtFactory::wavelet_2_taps(border, low.first<2>(), isa);
        case 4:
            return DwtFactory::wavelet_4_taps(border, low.first<4>(), isa);
        case 6:
            return DwtFactory::wavelet_6_taps(border, low.first<6>(), isa);
        case 8:
            return DwtFactory::wavelet_8_taps(border, low.first<8>(), isa);
        case 10:
            return DwtFactory::wavelet_10_taps(border, low.first<10>(), isa);
        case 12:
            return DwtFactory::wavelet_12_taps(border, low.first<12>(), isa);
        case 16:
            return DwtFactory::wavelet_16_taps(border, low.first<16>(), isa);
        default:
            return DwtFactory::wavelet_n_taps(border, low, isa);
    }
}

inline std::vector<float> random_signal(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> x(n);
    for (float& v : x) v = value(rng);
    return x;
}

inline constexpr BorderMode kAllBorders[] = {BorderMode::Clamp, BorderMode::Wrap,
                                             BorderMode::Reflect, BorderMode::Reflect101,
                                             BorderMode::Zeros};

}  // namespace Undra::testing_support
