#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "engine/filter_tables.h"

namespace Undra {
namespace {

// One table with what it must satisfy: its tap count, its vanishing moments and how far the
// orthonormality sums may stray (Symlet values carry about twelve significant digits).
struct TableCase {
    std::string name;
    std::span<const double> h;
    std::size_t taps;
    std::size_t moments;
    long double tolerance;
};

constexpr long double kDoubleEps = 2.2e-16L;

std::vector<TableCase> all_tables() {
    std::vector<TableCase> cases;
    for (std::size_t v = 0; v < 24; ++v) {
        cases.push_back({"db" + std::to_string(v + 1),
                         daubechies_table(static_cast<DaubechiesFamily>(v)), 2 * (v + 1), v + 1,
                         kDoubleEps});
    }
    for (std::size_t v = 0; v < 19; ++v) {
        cases.push_back({"sym" + std::to_string(v + 2), symlet_table(static_cast<SymletFamily>(v)),
                         2 * v + 4, v + 2, 1e-10L});
    }
    return cases;
}

void PrintTo(const TableCase& c, std::ostream* os) {
    *os << c.name;
}

class FilterTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(FilterTable, HasTheTapCountOfItsOrder) {
    EXPECT_EQ(GetParam().h.size(), GetParam().taps);
}

// Sums are accumulated in extended precision so that only the table's own error is measured.
TEST_P(FilterTable, IsNormalised) {
    const auto& c = GetParam();
    long double sum = 0, squares = 0;
    for (double x : c.h) {
        sum += x;
        squares += static_cast<long double>(x) * x;
    }
    EXPECT_LE(std::fabs(sum - std::sqrt(2.0L)), c.tolerance * std::sqrt(2.0L));
    EXPECT_LE(std::fabs(squares - 1), c.tolerance);
}

TEST_P(FilterTable, IsOrthogonalToItsEvenShifts) {
    const auto& c = GetParam();
    const std::size_t n = c.h.size();
    for (std::size_t m = 1; 2 * m < n; ++m) {
        long double dot = 0;
        for (std::size_t k = 0; k + 2 * m < n; ++k) {
            dot += static_cast<long double>(c.h[k]) * c.h[k + 2 * m];
        }
        EXPECT_LE(std::fabs(dot), c.tolerance) << "shift " << 2 * m;
    }
}

// The high-pass g[k] = (-1)^k h[N-1-k] annihilates polynomials of degree below the order.
// Positions are scaled to [0, 1] and each moment is compared with the size of its terms.
TEST_P(FilterTable, HighPassHasVanishingMoments) {
    const auto& c = GetParam();
    const std::size_t n = c.h.size();
    for (std::size_t j = 0; j < c.moments; ++j) {
        long double moment = 0, magnitude = 0;
        for (std::size_t k = 0; k < n; ++k) {
            const long double g = (k % 2 == 0 ? 1 : -1) * static_cast<long double>(c.h[n - 1 - k]);
            const long double term = g * std::pow(static_cast<long double>(k) / (n - 1), j);
            moment += term;
            magnitude += std::fabs(term);
        }
        EXPECT_LE(std::fabs(moment), 1e3L * c.tolerance * magnitude) << "moment " << j;
    }
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, FilterTable, ::testing::ValuesIn(all_tables()),
                         [](const auto& info) { return info.param.name; });

// The tables whose digits are fixed, compared bit for bit.
struct StoredCase {
    std::string name;
    std::span<const double> h;
    std::vector<double> digits;
};

void PrintTo(const StoredCase& c, std::ostream* os) {
    *os << c.name;
}

class StoredDigits : public ::testing::TestWithParam<StoredCase> {};

TEST_P(StoredDigits, MatchExactly) {
    const auto& c = GetParam();
    ASSERT_EQ(c.h.size(), c.digits.size());
    for (std::size_t k = 0; k < c.digits.size(); ++k) EXPECT_EQ(c.h[k], c.digits[k]) << k;
}

INSTANTIATE_TEST_SUITE_P(
    FixedTables, StoredDigits,
    ::testing::Values(StoredCase{"db1",
                                 daubechies_table(DaubechiesFamily::Db1),
                                 {0.7071067811865476, 0.7071067811865476}},
                      StoredCase{"db2",
                                 daubechies_table(DaubechiesFamily::Db2),
                                 {0.48296291314453416, 0.8365163037378079, 0.2241438680420134,
                                  -0.12940952255126037}},
                      StoredCase{"db4",
                                 daubechies_table(DaubechiesFamily::Db4),
                                 {0.2303778133088965, 0.7148465705529157, 0.6308807679298589,
                                  -0.027983769416859854, -0.18703481171909309, 0.030841381835560764,
                                  0.0328830116668852, -0.010597401785069032}},
                      StoredCase{"sym2",
                                 symlet_table(SymletFamily::Sym2),
                                 {0.48296291314469025, 0.836516303737469, 0.22414386804185735,
                                  -0.12940952255092145}},
                      StoredCase{"sym4",
                                 symlet_table(SymletFamily::Sym4),
                                 {0.0322231006040427, -0.012603967262037833, -0.09921954357684722,
                                  0.29785779560527736, 0.8037387518059161, 0.49761866763201545,
                                  -0.02963552764599851, -0.07576571478927333}}),
    [](const auto& info) { return info.param.name; });

// Daubechies filters are minimum phase: h[0] is positive and every leading stretch holds at
// least as much energy as the same stretch of the reversed filter (minimum energy delay).
TEST(DaubechiesTables, AreInMinimumPhaseOrder) {
    for (std::size_t v = 0; v < 24; ++v) {
        const auto h = daubechies_table(static_cast<DaubechiesFamily>(v));
        EXPECT_GT(h.front(), 0.0) << "db" << v + 1;
        double front = 0, back = 0;
        for (std::size_t k = 0; k < h.size(); ++k) {
            front += h[k] * h[k];
            back += h[h.size() - 1 - k] * h[h.size() - 1 - k];
            EXPECT_GE(front, back - 1e-15) << "db" << v + 1 << " prefix " << k;
        }
    }
}

// sym2 and sym3 are the Daubechies filters of the same length; sym4 peaks at index 4.
TEST(SymletTables, ShortOnesAgreeWithDaubechiesAndSym4IsOriented) {
    const auto db2 = daubechies_table(DaubechiesFamily::Db2);
    const auto db3 = daubechies_table(DaubechiesFamily::Db3);
    const auto sym2 = symlet_table(SymletFamily::Sym2);
    const auto sym3 = symlet_table(SymletFamily::Sym3);
    for (std::size_t k = 0; k < 4; ++k) EXPECT_NEAR(sym2[k], db2[k], 1e-12);
    for (std::size_t k = 0; k < 6; ++k) EXPECT_NEAR(sym3[k], db3[k], 1e-12);
    const auto sym4 = symlet_table(SymletFamily::Sym4);
    for (std::size_t k = 0; k < 8; ++k) {
        if (k != 4) {
            EXPECT_LT(std::fabs(sym4[k]), sym4[4]);
        }
    }
}

TEST(DaubechiesTables, Db4InSinglePrecisionStillSumsToSqrt2) {
    float sum = 0.0f;
    for (double x : daubechies_table(DaubechiesFamily::Db4)) sum += static_cast<float>(x);
    EXPECT_NEAR(sum, std::sqrt(2.0), 1e-6);
}

}  // namespace
}  // namespace Undra
