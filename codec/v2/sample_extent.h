// The lowest and highest of a signal's samples, and whether all are finite: the first pass of
// every version-2 encode, in the plain form and (float samples, x86) an SSE2 form that gives the
// same values, the sign of a zero extreme included (codec/sample_loops.h has the forms).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <type_traits>

#include "codec/sample_loops.h"

namespace kestova::v2 {

struct Extent {
    double lowest = 0.0;
    double highest = 0.0;
};

// The extremes as a sequential scan keeps them, the earliest of equal values (so a zero extreme
// has the sign of the first zero); for float types, the index of the first sample that is NaN or
// infinite instead.
template <typename T>
std::expected<Extent, std::size_t> plain_extent(std::span<const T> x) {
    Extent extent{static_cast<double>(x[0]), static_cast<double>(x[0])};
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double value = static_cast<double>(x[i]);
        if constexpr (std::is_floating_point_v<T>) {
            if (!std::isfinite(value)) return std::unexpected(i);
        }
        extent.lowest = std::min(extent.lowest, value);
        extent.highest = std::max(extent.highest, value);
    }
    return extent;
}

// plain_extent of float samples in four lanes (built where KESTOVA_SSE2_LOOPS is set).
std::expected<Extent, std::size_t> sse2_extent(std::span<const float> x);

// plain_extent(x) for `x` not empty, in `form` where this build holds it for T.
template <typename T>
std::expected<Extent, std::size_t> find_extent(
    std::span<const T> x, sample_loops::Form form = sample_loops::kDefaultForm) {
    if constexpr (std::is_same_v<T, float> && KESTOVA_SSE2_LOOPS) {
        if (form == sample_loops::Form::Sse2) return sse2_extent(x);
    }
    (void)form;
    return plain_extent(x);
}

}  // namespace kestova::v2
