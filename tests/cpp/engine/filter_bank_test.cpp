#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "engine/border_mode.h"
#include "engine/executor.h"
#include "engine/factory.h"
#include "engine/fast_divide.h"
#include "engine/filter_padding.h"
#include "engine/sse/wavelet_n_taps_f32.h"
#include "engine/wavelet8taps.h"
#include "engine/wavelet_n_taps.h"
#include "tests/cpp/engine/filter_bank_support.h"

namespace Undra {
namespace {

using namespace testing_support;
using K = UndraErrorKind;

// x̃[s] straight from the extension table.
float extended(const std::vector<float>& x, int64_t s, BorderMode mode) {
    const auto n = static_cast<int64_t>(x.size());
    if (s >= 0 && s < n) return x[s];
    switch (mode) {
        case BorderMode::Clamp:
            return s < 0 ? x[0] : x[n - 1];
        case BorderMode::Wrap:
            return x[((s % n) + n) % n];
        case BorderMode::Reflect:
            return s < 0 ? x[-s - 1] : x[2 * n - 1 - s];
        case BorderMode::Reflect101:
            return s < 0 ? x[-s] : x[2 * n - 2 - s];
        case BorderMode::Zeros:
            break;
    }
    return 0.0f;
}

// Reads back x̃[-(N-2)] ... x̃[2m - 1 - (N-2)] as the executor sees them: with the unit filter
// h = e_j, approximations[i] = x̃[2i + j - (N-2)].
std::vector<float> probe_extension(std::size_t taps, BorderMode border, Isa isa,
                                   const std::vector<float>& x) {
    const std::size_t m = (x.size() + taps - 1) / 2;
    std::vector<float> seen(2 * m + taps - 2, std::numeric_limits<float>::quiet_NaN());
    for (std::size_t j = 0; j < taps; ++j) {
        std::vector<float> unit(taps, 0.0f);
        unit[j] = 1.0f;
        auto bank = make_bank(unit, border, isa);
        std::vector<float> a(m), d(m);
        EXPECT_TRUE(bank->execute_forward(x, a, d).has_value());
        for (std::size_t i = 0; i < m; ++i) seen[2 * i + j] = a[i];
    }
    return seen;
}

std::vector<float> ramp(std::size_t n) {
    std::vector<float> x(n);
    std::iota(x.begin(), x.end(), 1.0f);  // distinct, non-zero values
    return x;
}

// ---------------------------------------------------------------------------------------------
// Every tap count and variant: extension indices, reconstruction, agreement with portable.

using BankParam = std::tuple<std::size_t, Isa>;

class FilterBankVariant : public ::testing::TestWithParam<BankParam> {};

TEST_P(FilterBankVariant, ReadsTheExtendedSignalOfEveryMode) {
    const auto [taps, isa] = GetParam();
    for (BorderMode border : kAllBorders) {
        for (std::size_t n : {taps, taps + 1, 2 * taps + 3}) {
            const std::vector<float> x = ramp(n);
            const std::vector<float> seen = probe_extension(taps, border, isa, x);
            for (std::size_t k = 0; k < seen.size(); ++k) {
                const int64_t s = static_cast<int64_t>(k) - static_cast<int64_t>(taps - 2);
                ASSERT_EQ(seen[k], extended(x, s, border))
                    << "mode " << static_cast<int>(border) << " n " << n << " s " << s;
            }
        }
    }
}

TEST_P(FilterBankVariant, AnalysisThenSynthesisReturnsTheSignal) {
    const auto [taps, isa] = GetParam();
    const std::vector<float> low = lattice_filter(taps, static_cast<unsigned>(taps));
    for (BorderMode border : kAllBorders) {
        auto bank = make_bank(low, border, isa);
        for (std::size_t n = taps; n <= 3 * taps + 1; ++n) {
            const std::vector<float> x = random_signal(n, static_cast<unsigned>(n));
            const DwtSize size = bank->dwt_size(n);
            std::vector<float> a(size.approximations_length), d(size.details_length);
            ASSERT_TRUE(bank->execute_forward(x, a, d).has_value());
            std::vector<float> y(bank->idwt_size(size), 0.0f);
            ASSERT_EQ(y.size(), n + n % 2);
            ASSERT_TRUE(bank->execute_inverse(a, d, y).has_value());
            for (std::size_t t = 0; t < n; ++t) {
                ASSERT_NEAR(y[t], x[t], 2e-5f)
                    << "mode " << static_cast<int>(border) << " n " << n << " t " << t;
            }
        }
    }
}

TEST_P(FilterBankVariant, SynthesisAddsIntoTheOutput) {
    const auto [taps, isa] = GetParam();
    auto bank = make_bank(lattice_filter(taps, 3), BorderMode::Wrap, isa);
    const std::size_t m = 2 * taps;
    const std::vector<float> a = random_signal(m, 1), d = random_signal(m, 2);
    std::vector<float> zeroed(bank->idwt_size({m, m}), 0.0f), offset(zeroed.size(), 1.0f);
    ASSERT_TRUE(bank->execute_inverse(a, d, zeroed).has_value());
    ASSERT_TRUE(bank->execute_inverse(a, d, offset).has_value());
    for (std::size_t t = 0; t < zeroed.size(); ++t) ASSERT_NEAR(offset[t], zeroed[t] + 1.0f, 1e-5f);
}

std::vector<BankParam> bank_params(bool vector_only) {
    std::vector<BankParam> params;
    for (std::size_t taps : {2, 4, 6, 8, 10, 12, 14, 16, 18, 24, 48}) {
        for (Isa isa : supported_isas()) {
            if (!vector_only || isa != Isa::Portable) params.emplace_back(taps, isa);
        }
    }
    return params;
}

std::string bank_param_name(const ::testing::TestParamInfo<BankParam>& info) {
    return std::to_string(std::get<0>(info.param)) + "Taps" +
           std::string(isa_name(std::get<1>(info.param)));
}

INSTANTIATE_TEST_SUITE_P(AllTapCounts, FilterBankVariant, ::testing::ValuesIn(bank_params(false)),
                         bank_param_name);

// The SSE and AVX variants against the portable reference: equal up to rounding.
class FilterBankVectorVariant : public ::testing::TestWithParam<BankParam> {};
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FilterBankVectorVariant);  // portable-only CPUs

TEST_P(FilterBankVectorVariant, AgreesWithThePortableVariant) {
    const auto [taps, isa] = GetParam();
    const std::vector<float> low = lattice_filter(taps, 7);
    const std::size_t n = 300 + taps + 1;  // long enough for whole vector blocks and tails
    const std::vector<float> x = random_signal(n, 11);
    for (BorderMode border : kAllBorders) {
        auto reference = make_bank(low, border, Isa::Portable);
        auto variant = make_bank(low, border, isa);
        const std::size_t m = reference->dwt_size(n).approximations_length;
        std::vector<float> ra(m), rd(m), va(m), vd(m);
        ASSERT_TRUE(reference->execute_forward(x, ra, rd).has_value());
        ASSERT_TRUE(variant->execute_forward(x, va, vd).has_value());
        for (std::size_t i = 0; i < m; ++i) {
            ASSERT_NEAR(va[i], ra[i], 1e-5f);
            ASSERT_NEAR(vd[i], rd[i], 1e-5f);
        }
        std::vector<float> ry(reference->idwt_size({m, m}), 0.0f), vy(ry.size(), 0.0f);
        ASSERT_TRUE(reference->execute_inverse(ra, rd, ry).has_value());
        ASSERT_TRUE(variant->execute_inverse(ra, rd, vy).has_value());
        for (std::size_t t = 0; t < ry.size(); ++t) ASSERT_NEAR(vy[t], ry[t], 1e-5f);
    }
}

INSTANTIATE_TEST_SUITE_P(AllTapCounts, FilterBankVectorVariant,
                         ::testing::ValuesIn(bank_params(true)), bank_param_name);

// ---------------------------------------------------------------------------------------------
// The documented index examples, on every variant.

class FilterBankExamples : public ::testing::TestWithParam<Isa> {};

std::vector<float> left_extension(std::size_t taps, BorderMode border, Isa isa,
                                  const std::vector<float>& x) {
    const std::vector<float> seen = probe_extension(taps, border, isa, x);
    return {seen.begin(), seen.begin() + static_cast<std::ptrdiff_t>(taps - 2)};
}

TEST_P(FilterBankExamples, EightTapsLeftExtension) {
    const std::vector<float> x = ramp(10);  // x[t] = t + 1
    EXPECT_EQ(left_extension(8, BorderMode::Clamp, GetParam(), x), std::vector<float>(6, 1.0f));
    EXPECT_EQ(left_extension(8, BorderMode::Zeros, GetParam(), x), std::vector<float>(6, 0.0f));
    // x[5], x[4], ..., x[0] for x̃[-6] .. x̃[-1].
    EXPECT_EQ(left_extension(8, BorderMode::Reflect, GetParam(), x),
              (std::vector<float>{6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(left_extension(8, BorderMode::Reflect101, GetParam(), x),
              (std::vector<float>{7, 6, 5, 4, 3, 2}));
}

TEST_P(FilterBankExamples, FourteenTapsReflect101) {
    // x[12], ..., x[1] for x̃[-12] .. x̃[-1].
    EXPECT_EQ(left_extension(14, BorderMode::Reflect101, GetParam(), ramp(14)),
              (std::vector<float>{13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2}));
}

TEST_P(FilterBankExamples, EightTapsWrapOfEightSamples) {
    const std::vector<float> low = lattice_filter(8, 5);
    const std::vector<float> x = random_signal(8, 6);
    auto bank = make_bank(low, BorderMode::Wrap, GetParam());
    ASSERT_EQ(bank->dwt_size(8), (DwtSize{7, 7}));
    std::vector<float> a(7), d(7);
    ASSERT_TRUE(bank->execute_forward(x, a, d).has_value());
    const std::size_t order[] = {2, 3, 4, 5, 6, 7, 0, 1};
    float expected = 0.0f;
    for (std::size_t k = 0; k < 8; ++k) expected += low[k] * x[order[k]];
    EXPECT_NEAR(a[0], expected, 1e-6f);
}

TEST_P(FilterBankExamples, TwoTapsOddLengthPairsTheLastSampleWithOneExtended) {
    const std::vector<float> x = {1, 2, 3, 4, 5};
    const std::pair<BorderMode, float> cases[] = {{BorderMode::Wrap, 1.0f},
                                                  {BorderMode::Reflect101, 4.0f},
                                                  {BorderMode::Zeros, 0.0f},
                                                  {BorderMode::Clamp, 5.0f},
                                                  {BorderMode::Reflect, 5.0f}};
    const float low[] = {0.25f, 0.5f};
    for (const auto& [border, x5] : cases) {
        auto bank = make_bank(low, border, GetParam());
        std::vector<float> a(3), d(3);
        ASSERT_TRUE(bank->execute_forward(x, a, d).has_value());
        EXPECT_EQ(a[2], 0.25f * 5.0f + 0.5f * x5) << static_cast<int>(border);
    }
}

TEST_P(FilterBankExamples, SizesAndErrors) {
    const std::vector<float> low = lattice_filter(8, 9);
    auto bank = make_bank(low, BorderMode::Wrap, GetParam());
    EXPECT_EQ(bank->filter_length(), 8u);
    EXPECT_EQ(bank->dwt_size(9), (DwtSize{8, 8}));
    EXPECT_EQ(bank->idwt_size({7, 7}), 8u);
    EXPECT_EQ(bank->idwt_size({8, 8}), 10u);
    EXPECT_EQ(bank->idwt_size({4, 4}), 2u);
    EXPECT_EQ(bank->idwt_size({3, 3}), 0u);
    EXPECT_EQ(bank->idwt_size({2, 2}), 0u);  // would be negative: no wrap-around
    EXPECT_EQ(bank->required_scratch_size(9), 0u);

    std::vector<float> a(7, 9.0f), d(7, 9.0f);
    const std::vector<float> x7 = random_signal(7, 1);
    auto r = bank->execute_forward(x7, a, d);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), (UndraError{K::InputTooSmall, 7, 8}));
    EXPECT_EQ(r.error().message(), "Input size 7 can't be less than 8");

    const std::vector<float> x8 = random_signal(8, 2);
    std::vector<float> a6(6), d6(6);
    r = bank->execute_forward(x8, a6, d);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), (UndraError{K::HalfLengthMismatch, 6}));
    r = bank->execute_forward(x8, a, d6);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message(),
              "Approximation and details expected to be half of original signal length but it "
              "was 6");
    EXPECT_EQ(a, std::vector<float>(7, 9.0f));  // nothing written on failure

    std::vector<float> out9(9, 0.0f);
    r = bank->execute_inverse(a, d6, out9);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message(), "Approx and details must match, but they don't 7x6");
    r = bank->execute_inverse(a, d, out9);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), (UndraError{K::OutputSizeMismatch, 9, 8}));
    EXPECT_EQ(r.error().message(), "Output size should be 8, but it was 9");
    EXPECT_EQ(out9, std::vector<float>(9, 0.0f));

    const std::vector<float> two(2, 1.0f);
    std::vector<float> empty;
    r = bank->execute_inverse(two, two, empty);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), (UndraError{K::InputTooSmall, 2, 3}));
}

TEST_P(FilterBankExamples, GeneralExecutorScratchRules) {
    const std::vector<float> low = lattice_filter(14, 4);
    auto bank = make_bank(low, BorderMode::Reflect101, GetParam());
    const std::vector<float> x = ramp(15);
    const std::size_t m = bank->dwt_size(15).approximations_length;
    const std::size_t arena = bank->required_scratch_size(15);
    ASSERT_EQ(arena, 14 - 2 + 2 * m);
    std::vector<float> a(m), d(m), scratch(arena - 1);
    auto r = bank->execute_forward_with_scratch(x, a, d, scratch);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), (UndraError{K::ScratchTooSmall, arena, arena - 1}));
    EXPECT_EQ(r.error().message(), "Scratch size expected to be " + std::to_string(arena) +
                                       " but it was " + std::to_string(arena - 1));
    scratch.assign(arena, -1.0f);
    ASSERT_TRUE(bank->execute_forward_with_scratch(x, a, d, scratch).has_value());
    for (std::size_t k = 0; k < arena; ++k) {
        EXPECT_EQ(scratch[k], extended(x, static_cast<int64_t>(k) - 12, BorderMode::Reflect101));
    }
    std::vector<float> a2(m), d2(m);
    ASSERT_TRUE(bank->execute_forward(x, a2, d2).has_value());
    EXPECT_EQ(a, a2);
    EXPECT_EQ(d, d2);
}

INSTANTIATE_TEST_SUITE_P(Variants, FilterBankExamples, ::testing::ValuesIn(supported_isas()),
                         [](const ::testing::TestParamInfo<Isa>& info) {
                             return std::string(isa_name(info.param));
                         });

// The portable variant is the reference: it evaluates the definition in its own order, so the
// results match a literal evaluation bit for bit (and so does SSE, which rounds the same way).
TEST(FilterBankReference, PortableAndSseFollowTheDefinitionExactly) {
    constexpr std::size_t kTaps = 8;
    const std::vector<float> h = lattice_filter(kTaps, 17);
    std::vector<float> g(kTaps);
    for (std::size_t k = 0; k < kTaps; ++k)
        g[k] = k % 2 == 0 ? h[kTaps - 1 - k] : -h[kTaps - 1 - k];
    const std::vector<float> x = random_signal(101, 18);
    const std::size_t m = (x.size() + kTaps - 1) / 2;
    std::vector<float> a(m), d(m);
    for (std::size_t i = 0; i < m; ++i) {
        for (std::size_t k = 0; k < kTaps; ++k) {
            const float v =
                extended(x, static_cast<int64_t>(2 * i + k) - (kTaps - 2), BorderMode::Reflect);
            a[i] += h[k] * v;
            d[i] += g[k] * v;
        }
    }
    std::vector<float> y(2 * m - kTaps + 2, 0.0f);
    for (std::size_t j = 0; j < m; ++j) {
        for (std::size_t k = 0; k < kTaps; ++k) {
            const int64_t p = static_cast<int64_t>(2 * j + k) - (kTaps - 2);
            if (p >= 0 && p < static_cast<int64_t>(y.size())) y[p] += h[k] * a[j] + g[k] * d[j];
        }
    }
    for (Isa isa : {Isa::Portable, Isa::Sse}) {
        if (!isa_supported(isa)) continue;
        auto bank = make_bank(h, BorderMode::Reflect, isa);
        std::vector<float> ba(m), bd(m), by(y.size(), 0.0f);
        ASSERT_TRUE(bank->execute_forward(x, ba, bd).has_value());
        EXPECT_EQ(ba, a) << isa_name(isa);
        EXPECT_EQ(bd, d) << isa_name(isa);
        ASSERT_TRUE(bank->execute_inverse(a, d, by).has_value());
        EXPECT_EQ(by, y) << isa_name(isa);
    }
}

// ---------------------------------------------------------------------------------------------
// Construction, dispatch and helpers.

#if UNDRA_X86_VARIANTS
TEST(DwtFactory, SixteenTapsWithoutAnSseFormUseTheGeneralSseExecutor) {
    const std::vector<float> low = lattice_filter(16, 1);
    auto bank =
        DwtFactory::wavelet_16_taps(BorderMode::Wrap, std::span<const float, 16>(low), Isa::Sse);
    EXPECT_NE(dynamic_cast<const SseWaveletNTapsF32*>(bank.get()), nullptr);
    EXPECT_EQ(bank->filter_length(), 16u);
}
#else
TEST(DwtFactory, WithoutX86VariantsEveryIsaBuildsThePortableExecutor) {
    EXPECT_EQ(supported_isas(), std::vector<Isa>{Isa::Portable});
    const std::vector<float> low = lattice_filter(8, 1);
    for (Isa isa : {Isa::Sse, Isa::Avx}) {
        auto fixed =
            DwtFactory::wavelet_8_taps(BorderMode::Wrap, std::span<const float, 8>(low), isa);
        EXPECT_NE(dynamic_cast<const Wavelet8Taps*>(fixed.get()), nullptr);
        auto general = DwtFactory::wavelet_n_taps(BorderMode::Wrap, low, isa);
        EXPECT_NE(dynamic_cast<const WaveletNTaps*>(general.get()), nullptr);
    }
}
#endif

TEST(DwtFactory, HighPassIsTheAlternatingFlip) {
    // Unit low-pass h = e_j gives g = ±e_{N-1-j}: details read x̃ at the mirrored tap, with the
    // sign of (N-1-j).
    const std::vector<float> x = ramp(8);
    for (std::size_t j = 0; j < 8; ++j) {
        std::vector<float> unit(8, 0.0f);
        unit[j] = 1.0f;
        auto bank = DwtFactory::wavelet_8_taps(BorderMode::Wrap, std::span<const float, 8>(unit));
        std::vector<float> a(7), d(7);
        ASSERT_TRUE(bank->execute_forward(x, a, d).has_value());
        const std::size_t k = 7 - j;
        const float sign = k % 2 == 0 ? 1.0f : -1.0f;
        EXPECT_EQ(d[3], sign * extended(x, 6 + static_cast<int64_t>(k) - 6, BorderMode::Wrap));
    }
}

TEST(DwtFactory, GeneralExecutorRejectsZeroAndOddLengths) {
    for (std::size_t taps : {0, 3}) {
        const std::vector<float> low(taps, 0.5f);
        auto bank = DwtFactory::wavelet_n_taps(BorderMode::Wrap, low);
        const std::vector<float> x(8, 1.0f);
        std::vector<float> a(bank->dwt_size(8).approximations_length), d(a.size());
        auto r = bank->execute_forward(x, a, d);
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error().kind, K::InvalidWavelet);
        std::vector<float> out(bank->idwt_size({a.size(), a.size()}));
        EXPECT_EQ(bank->execute_inverse(a, d, out).error().kind, K::InvalidWavelet);
    }
}

TEST(DividerI64, MatchesPlainDivision) {
    const int64_t divisors[] = {
        1,    2,       3,        5,  7,  8,   10,    14,        48,           96,
        1000, 1 << 20, 12345679, -1, -3, -16, -1000, INT64_MAX, INT64_MIN + 1};
    const int64_t numerators[] = {0,
                                  1,
                                  -1,
                                  7,
                                  -7,
                                  46,
                                  -46,
                                  1000003,
                                  -1000003,
                                  INT64_MAX,
                                  INT64_MIN + 1,
                                  123456789012345,
                                  -987654321098765};
    for (int64_t d : divisors) {
        const DividerI64 divider(d);
        for (int64_t n : numerators) {
            ASSERT_EQ(divider.quotient(n), n / d) << n << " / " << d;
            const int64_t r = n % d;
            const int64_t abs_d = d < 0 ? -d : d;
            ASSERT_EQ(divider.modulo(n), r < 0 ? r + abs_d : r) << n << " mod " << d;
        }
    }
}

TEST(BorderInterpolation, ReflectionsStayPeriodicBeyondOnePeriod) {
    const BorderInterpolation reflect(BorderMode::Reflect, 3);
    const BorderInterpolation reflect101(BorderMode::Reflect101, 3);
    const int64_t expected_reflect[] = {0, 1, 2, 2, 1, 0, 0, 1, 2, 2, 1, 0};     // s = -6..5
    const int64_t expected_reflect101[] = {2, 1, 0, 1, 2, 1, 0, 1, 2, 1, 0, 1};  // s = -6..5
    for (int64_t s = -6; s < 6; ++s) {
        EXPECT_EQ(reflect.source_index(s), expected_reflect[s + 6]) << s;
        EXPECT_EQ(reflect101.source_index(s), expected_reflect101[s + 6]) << s;
    }
    EXPECT_EQ(BorderInterpolation(BorderMode::Reflect101, 1).source_index(-3), 0);
    EXPECT_EQ(BorderInterpolation(BorderMode::Zeros, 4).source_index(4), -1);
}

TEST(PaddingArena, EveryWriterGivesTheSameArena) {
    const std::vector<float> x = random_signal(37, 3);
    std::vector<ArenaWriter1d> writers = {&write_arena_1d_impl};
#if UNDRA_X86_VARIANTS
    if (isa_supported(Isa::Sse, PathRule::ArenaWriter)) writers.push_back(&write_arena_1d_sse4_1);
    if (isa_supported(Isa::Avx, PathRule::ArenaWriter)) writers.push_back(&write_arena_1d_avx);
#endif
    const ArenaWriter1d chosen = MakeArenaFactoryProvider::make_arena_writer_1d_executor();
    EXPECT_EQ(chosen, writers.back());
    EXPECT_EQ(chosen, MakeArenaFactoryProvider::make_arena_writer_1d_executor());
    for (BorderMode border : kAllBorders) {
        std::vector<float> expected(x.size() + 12 + 13);
        for (std::size_t k = 0; k < expected.size(); ++k) {
            expected[k] = extended(x, static_cast<int64_t>(k) - 12, border);
        }
        for (ArenaWriter1d write : writers) {
            std::vector<float> arena(expected.size(), -5.0f);
            write(x, arena, 12, 13, border);
            EXPECT_EQ(arena, expected) << static_cast<int>(border);
        }
    }
}

}  // namespace
}  // namespace Undra
