// The encoder's passes over samples and differences that take shortcuts for speed give what the
// plain arithmetic gives: the extremes in every loop form (the sign of a zero extreme and the
// first sample that is not finite included), the nearest indices where a position lies next to
// a midpoint between two, and the autocorrelation whether summed exactly in integers or in
// float64 in sample order.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "codec/v2/grid.h"
#include "codec/v2/linear_predictor.h"
#include "codec/v2/quantizer.h"
#include "codec/v2/sample_extent.h"

namespace kestova::v2 {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

template <typename T>
void expect_same_extent(const std::vector<T>& x) {
    const auto plain = find_extent<T>(x, sample_loops::Form::Plain);
    for (const sample_loops::Form form : sample_loops::built_forms()) {
        const auto got = find_extent<T>(x, form);
        ASSERT_EQ(got.has_value(), plain.has_value()) << x.size();
        if (!plain) {
            EXPECT_EQ(got.error(), plain.error()) << x.size();
            continue;
        }
        EXPECT_EQ(std::bit_cast<uint64_t>(got->lowest), std::bit_cast<uint64_t>(plain->lowest));
        EXPECT_EQ(std::bit_cast<uint64_t>(got->highest), std::bit_cast<uint64_t>(plain->highest));
    }
}

TEST(V2SamplePasses, ExtentIsTheSameInEveryForm) {
    const std::vector<double> pool = {0.0,  -0.0,  1.0,    -2.5, 3e38, -3e38, 1e-40,
                                      7.25, -7.25, 123.75, kNaN, kInf, -kInf};
    std::mt19937 rng(11);
    for (const std::size_t n : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 16u, 19u, 1000u}) {
        for (int variant = 0; variant < 40; ++variant) {
            // Most signals finite (their extremes are checked), some with one that is not.
            const std::size_t usable = variant % 4 == 0 ? pool.size() : pool.size() - 3;
            std::vector<float> f(n);
            std::vector<double> d(n);
            for (std::size_t i = 0; i < n; ++i) {
                d[i] = pool[rng() % usable];
                f[i] = static_cast<float>(d[i]);
            }
            expect_same_extent(f);
            expect_same_extent(d);
        }
    }
    // Zeros of both signs as the extremes, in either order, and the first non-finite in a tail.
    expect_same_extent<float>({1.0f, -0.0f, 0.0f, 2.0f, 3.0f, 0.0f, -0.0f, 4.0f, 5.0f});
    expect_same_extent<float>({-1.0f, 0.0f, -0.0f, -2.0f, -3.0f, -0.0f, 0.0f, -4.0f, -5.0f});
    expect_same_extent<float>({1.0f, 2.0f, 3.0f, 4.0f, 5.0f, INFINITY, NAN});
}

// Every index is the quotient's nearest wherever that one decodes within the bound (as the
// decoder's grid_sample gives it, clipped for integer types), every sample is within it, and the
// largest error is the one reported.
template <typename T>
void expect_nearest_by_division(const std::vector<T>& x, const Quantized& q, double bound) {
    const auto error = [&](std::size_t i, uint64_t k) {
        return std::abs(static_cast<double>(grid_sample<T>(q.grid, k)) - static_cast<double>(x[i]));
    };
    double worst = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double position = (static_cast<double>(x[i]) - q.grid.origin) / q.grid.step;
        const auto nearest = static_cast<uint64_t>(round_to_even(std::max(position, 0.0)));
        if (error(i, nearest) <= bound) {
            EXPECT_EQ(q.indices[i], nearest) << "sample " << i;
        }
        EXPECT_LE(error(i, q.indices[i]), bound) << "sample " << i;
        worst = std::max(worst, error(i, q.indices[i]));
    }
    EXPECT_EQ(q.max_error, worst);
}

TEST(V2SamplePasses, PositionsNextToAMidpointTakeTheNearestIndexByDivision) {
    // Samples at k + 1/2 of the grid these ends take at this bound (not whole, on no lattice of
    // their own; a step whose reciprocal is inexact) and just beside it.
    const double bound = 0.05;
    std::vector<double> x = {0.0, 1000.3, 0.0371, 0.0913};
    const auto ends = quantize_within({ElementType::Float64, x.data(), x.size()}, {bound, false});
    ASSERT_TRUE(ends.has_value());
    for (const double beside : {0.0, 0x1p-40, -0x1p-40, 0x1p-20, -0x1p-20, 0x1p-17, 0x1p-12}) {
        for (int k = 0; k < 9000; k += 7) {
            x.push_back(grid_value(ends->grid, k) + (0.5 + beside) * ends->grid.step);
        }
    }
    const auto q = quantize_within({ElementType::Float64, x.data(), x.size()}, {bound, false});
    ASSERT_TRUE(q.has_value());
    ASSERT_EQ(q->grid.step, ends->grid.step);
    expect_nearest_by_division(x, *q, bound);
}

TEST(V2SamplePasses, IntegerSamplesTakeTheNearestIndexAndClipAsDecoded) {
    // Grids through 0 start below the lowest sample, so decoded values clip at the type's ends.
    std::vector<int8_t> full;
    for (int v = -128; v <= 127; ++v) full.push_back(static_cast<int8_t>(v));
    std::vector<int16_t> wide = {-32768, 32767, -5, 0, 7, 1000, -1000, 32000, -32000};
    for (const double bound : {0.0, 1.0, 3.0, 10.0, 40.0, 100.0}) {
        const auto a =
            quantize_within({ElementType::Int8, full.data(), full.size()}, {bound, false});
        ASSERT_TRUE(a.has_value()) << bound;
        expect_nearest_by_division(full, *a, bound);
        const auto b =
            quantize_within({ElementType::Int16, wide.data(), wide.size()}, {bound, false});
        ASSERT_TRUE(b.has_value()) << bound;
        expect_nearest_by_division(wide, *b, bound);
    }
}

TEST(V2SamplePasses, AutocorrelationIsTheSampleOrderSum) {
    std::mt19937 rng(3);
    struct Case {
        std::size_t count;
        int64_t largest;  // differences drawn from -largest .. largest
    };
    const Case cases[] = {{1, 2047},          {17, 5},         {kFrame, 2047},
                          {kFrame - 3, 2048}, {kFrame, 70000}, {300, int64_t{1} << 32}};
    for (const Case& c : cases) {
        std::vector<int64_t> d(c.count);
        for (int64_t& v : d) {
            v = static_cast<int64_t>(rng() % static_cast<uint64_t>(2 * c.largest + 1)) - c.largest;
        }
        d.back() = c.largest;  // the limit itself, which decides the path
        Lags expected{};
        for (std::size_t i = 0; i < d.size(); ++i) {
            for (int lag = 0; lag <= kSearchTaps; ++lag) {
                const double earlier =
                    i >= std::size_t(lag) ? static_cast<double>(d[i - lag]) : 0.0;
                expected[lag] += static_cast<double>(d[i]) * earlier;
            }
        }
        const Lags got = autocorrelation(d);
        for (int lag = 0; lag <= kSearchTaps; ++lag) {
            EXPECT_EQ(got[lag], expected[lag]) << c.count << " " << c.largest << " lag " << lag;
        }
    }
}

}  // namespace
}  // namespace kestova::v2
