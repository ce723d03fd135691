#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/completed.h"
#include "engine/filter_tables.h"
#include "engine/undra.h"
#include "engine/wavelet_n_taps.h"
#include "tests/cpp/engine/filter_bank_support.h"

namespace Undra {
namespace {

using namespace testing_support;
using K = UndraErrorKind;

SharedDwtExecutor completed_8_taps(Isa isa = Isa::Portable) {
    return std::make_shared<CompletedDwtExecutor>(
        make_bank(lattice_filter(8, 21), BorderMode::Wrap, isa));
}

std::vector<std::size_t> approximation_lengths(const MultiDwt& dwt) {
    std::vector<std::size_t> lengths;
    for (const Dwt& level : dwt.levels) lengths.push_back(level.approximations.size());
    return lengths;
}

// Synthesises a whole decomposition through multi_idwt.
UndraResult<std::vector<float>> synthesise(const DwtExecutor& executor, const MultiDwt& dwt) {
    std::vector<std::span<const float>> details;
    for (const Dwt& level : dwt.levels) details.emplace_back(level.details);
    return executor.multi_idwt({details, dwt.levels.back().approximations});
}

void expect_prefix_near(const std::vector<float>& actual, const std::vector<float>& expected,
                        float tolerance) {
    ASSERT_GE(actual.size(), expected.size());
    for (std::size_t t = 0; t < expected.size(); ++t) {
        ASSERT_NEAR(actual[t], expected[t], tolerance) << "sample " << t;
    }
}

TEST(CompletedDwtExecutor, ZeroLevelsMeansOne) {
    auto executor = completed_8_taps();
    const std::vector<float> x = random_signal(20, 1);
    auto zero = executor->multi_dwt(x, 0);
    auto one = executor->multi_dwt(x, 1);
    ASSERT_TRUE(zero && one);
    ASSERT_EQ(zero->levels.size(), 1u);
    EXPECT_EQ(zero->levels[0].approximations, one->levels[0].approximations);
    EXPECT_EQ(zero->levels[0].details, one->levels[0].details);
    auto level0 = executor->dwt(x, 0);
    ASSERT_TRUE(level0);
    EXPECT_EQ(level0->details, one->levels[0].details);
}

TEST(CompletedDwtExecutor, TwoLevelsOfTwentySamples) {
    auto executor = completed_8_taps();
    const std::vector<float> x = random_signal(20, 2);
    auto dwt = executor->multi_dwt(x, 2);
    ASSERT_TRUE(dwt);
    EXPECT_EQ(approximation_lengths(*dwt), (std::vector<std::size_t>{13, 10}));
    EXPECT_EQ(dwt->levels[1].details.size(), 10u);
    auto y = synthesise(*executor, *dwt);
    ASSERT_TRUE(y);
    EXPECT_EQ(y->size(), 20u);
    expect_prefix_near(*y, x, 1e-5f);
}

TEST(CompletedDwtExecutor, NineSamplesOneLevelGiveOneSurplusSample) {
    auto executor = completed_8_taps();
    const std::vector<float> x = random_signal(9, 3);
    auto dwt = executor->multi_dwt(x, 1);
    ASSERT_TRUE(dwt);
    EXPECT_EQ(approximation_lengths(*dwt), (std::vector<std::size_t>{8}));
    auto y = synthesise(*executor, *dwt);
    ASSERT_TRUE(y);
    EXPECT_EQ(y->size(), 10u);
    expect_prefix_near(*y, x, 1e-5f);
}

TEST(CompletedDwtExecutor, LevelsStopAtTheFilterLength) {
    auto executor = completed_8_taps();
    const std::vector<float> x = random_signal(9, 4);
    auto two = executor->multi_dwt(x, 2);
    ASSERT_TRUE(two);
    EXPECT_EQ(approximation_lengths(*two), (std::vector<std::size_t>{8, 7}));
    auto three = executor->multi_dwt(x, 3);
    ASSERT_FALSE(three);
    EXPECT_EQ(three.error(), UndraError{K::BufferTooSmallForLevel});
    EXPECT_EQ(three.error().message(), "Buffer was too small for provided level");
    EXPECT_EQ(executor->dwt(x, 3).error().kind, K::BufferTooSmallForLevel);
    EXPECT_EQ(executor->multi_dwt(random_signal(7, 1), 2).error().kind, K::BufferTooSmallForLevel);
    auto single = executor->multi_dwt(random_signal(7, 1), 1);
    ASSERT_FALSE(single);
    EXPECT_EQ(single.error(), (UndraError{K::InputTooSmall, 7, 8}));
}

TEST(CompletedDwtExecutor, DwtReturnsTheLastLevelOfMultiDwt) {
    auto executor = completed_8_taps();
    const std::vector<float> x = random_signal(100, 5);
    auto multi = executor->multi_dwt(x, 3);
    auto last = executor->dwt(x, 3);
    ASSERT_TRUE(multi && last);
    EXPECT_EQ(last->approximations, multi->levels[2].approximations);
    EXPECT_EQ(last->details, multi->levels[2].details);
}

TEST(CompletedDwtExecutor, MultiIdwtCutsCoarseReconstructionsToTheFinerDetails) {
    auto executor = completed_8_taps();
    const std::vector<float> coarse(10, 0.5f), d13(13, 0.25f), d10(10, -0.25f);
    const std::span<const float> details[] = {d13, d10};
    auto y = executor->multi_idwt({details, coarse});
    ASSERT_TRUE(y);
    EXPECT_EQ(y->size(), 20u);  // 14 cut to 13, then 2·13 - 6
    // The same by hand: the surplus 14th sample of the coarse synthesis is dropped.
    auto coarse_signal = executor->idwt({coarse, d10});
    ASSERT_TRUE(coarse_signal);
    ASSERT_EQ(coarse_signal->size(), 14u);
    auto finer = executor->idwt({std::span<const float>(*coarse_signal).first(13), d13});
    ASSERT_TRUE(finer);
    EXPECT_EQ(*y, *finer);
}

TEST(CompletedDwtExecutor, MultiIdwtFailures) {
    auto executor = completed_8_taps();
    const std::vector<float> four(4, 1.0f), twenty(20, 1.0f);
    auto none = executor->multi_idwt({{}, four});
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().message(), "Zero sized input is not supported");
    const std::span<const float> one_level[] = {four};
    EXPECT_EQ(executor->multi_idwt({one_level, {}}).error().kind, K::ZeroSizedInput);

    const std::span<const float> short_coarse[] = {twenty, four};
    auto mismatch = executor->multi_idwt({short_coarse, four});
    ASSERT_FALSE(mismatch);
    EXPECT_EQ(mismatch.error(), (UndraError{K::ApproxDetailsMismatch, 2, 20}));
}

TEST(CompletedDwtExecutor, IdwtChecksItsView) {
    auto executor = completed_8_taps();
    const std::vector<float> a(7, 1.0f), d(6, 1.0f);
    auto r = executor->idwt({a, d});
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), (UndraError{K::ApproxDetailsMismatch, 7, 6}));
    // 2·2 - 8 + 2 is negative: reported, not allocated as a wrapped size.
    const std::vector<float> two(2, 1.0f);
    auto tiny = executor->idwt({two, two});
    ASSERT_FALSE(tiny);
    EXPECT_EQ(tiny.error(), (UndraError{K::InputTooSmall, 2, 3}));
}

TEST(CompletedDwtExecutor, PassesOneLevelOperationsThrough) {
    auto inner = make_bank(lattice_filter(14, 2), BorderMode::Zeros, Isa::Portable);
    const CompletedDwtExecutor executor(inner);
    EXPECT_EQ(executor.filter_length(), 14u);
    EXPECT_EQ(executor.dwt_size(30), inner->dwt_size(30));
    EXPECT_EQ(executor.required_scratch_size(30), inner->required_scratch_size(30));
    EXPECT_EQ(executor.idwt_size({20, 20}), inner->idwt_size({20, 20}));
    const std::vector<float> x = random_signal(30, 6);
    const std::size_t m = inner->dwt_size(30).approximations_length;
    std::vector<float> a(m), d(m), scratch(executor.required_scratch_size(30));
    ASSERT_TRUE(executor.execute_forward_with_scratch(x, a, d, scratch).has_value());
    std::vector<float> y(executor.idwt_size({m, m}), 0.0f);
    ASSERT_TRUE(executor.execute_inverse(a, d, y).has_value());
    expect_prefix_near(y, x, 1e-5f);
}

// ---------------------------------------------------------------------------------------------
// The family factories, every order, mode and variant.

std::size_t inner_taps(const SharedDwtExecutor& executor) {
    const auto* completed = dynamic_cast<const CompletedDwtExecutor*>(executor.get());
    return completed == nullptr ? 0 : completed->inner()->filter_length();
}

void expect_reconstructs(const DwtExecutor& executor, const std::string& what) {
    const std::size_t taps = executor.filter_length();
    for (std::size_t n : {taps, taps + 1, 2 * taps + 3, 3 * taps}) {
        const std::vector<float> x = random_signal(n, static_cast<unsigned>(n));
        auto dwt = executor.multi_dwt(x, 1);
        ASSERT_TRUE(dwt) << what;
        auto y = synthesise(executor, *dwt);
        ASSERT_TRUE(y) << what;
        ASSERT_EQ(y->size(), n + n % 2) << what;
        expect_prefix_near(*y, x, 5e-5f);
    }
    const std::size_t n = 8 * taps + 5;
    const std::vector<float> x = random_signal(n, 99);
    auto dwt = executor.multi_dwt(x, 3);
    ASSERT_TRUE(dwt) << what;
    auto y = synthesise(executor, *dwt);
    ASSERT_TRUE(y) << what;
    ASSERT_EQ(y->size(), n + 1) << what;
    expect_prefix_near(*y, x, 1e-4f);
}

class WaveletFamilies : public ::testing::TestWithParam<Isa> {};

TEST_P(WaveletFamilies, EveryDaubechiesOrderReconstructs) {
    for (uint32_t v = 0; v < 24; ++v) {
        for (BorderMode border : kAllBorders) {
            auto executor =
                make_daubechies_f32(static_cast<DaubechiesFamily>(v), border, GetParam());
            ASSERT_EQ(executor->filter_length(), 2 * (v + 1));
            ASSERT_EQ(inner_taps(executor), 2 * (v + 1));
            expect_reconstructs(*executor, "db" + std::to_string(v + 1) + " mode " +
                                               std::to_string(static_cast<int>(border)));
        }
    }
}

TEST_P(WaveletFamilies, EverySymletOrderReconstructs) {
    for (uint32_t v = 0; v < 19; ++v) {
        for (BorderMode border : kAllBorders) {
            auto executor = make_symlet_f32(static_cast<SymletFamily>(v), border, GetParam());
            ASSERT_EQ(executor->filter_length(), 2 * v + 4);
            expect_reconstructs(*executor, "sym" + std::to_string(v + 2) + " mode " +
                                               std::to_string(static_cast<int>(border)));
        }
    }
}

TEST_P(WaveletFamilies, Db4OfAConstantIsScaledBySqrt2) {
    const std::vector<float> x(40, 0.75f);
    for (BorderMode border : kAllBorders) {
        auto executor = make_daubechies_f32(DaubechiesFamily::Db4, border, GetParam());
        auto dwt = executor->dwt(x, 1);
        ASSERT_TRUE(dwt);
        if (border == BorderMode::Zeros) continue;
        for (float a : dwt->approximations) EXPECT_NEAR(a, 0.75f * std::sqrt(2.0f), 1e-5f);
        for (float d : dwt->details) EXPECT_NEAR(d, 0.0f, 1e-5f);
    }
}

// The codec's filters with its border mode: the first output of an 8-sample signal correlates the
// stored table (converted to float) with x[2..7], x[0], x[1]; the high pass is the alternating
// flip. The portable variant adds the products in tap order, so the bits are known exactly.
TEST(CodecFilters, WrapOfEightSamplesIsExact) {
    const std::vector<float> x = random_signal(8, 31);
    const std::size_t order[] = {2, 3, 4, 5, 6, 7, 0, 1};
    const std::pair<SharedDwtExecutor, std::span<const double>> banks[] = {
        {make_daubechies_f32(DaubechiesFamily::Db4, BorderMode::Wrap, Isa::Portable),
         daubechies_table(DaubechiesFamily::Db4)},
        {make_symlet_f32(SymletFamily::Sym4, BorderMode::Wrap, Isa::Portable),
         symlet_table(SymletFamily::Sym4)}};
    for (const auto& [executor, table] : banks) {
        ASSERT_EQ(table.size(), 8u);
        float a = 0.0f, d = 0.0f;
        for (std::size_t k = 0; k < 8; ++k) {
            const float h = static_cast<float>(table[k]);
            const float g =
                k % 2 == 0 ? static_cast<float>(table[7 - k]) : -static_cast<float>(table[7 - k]);
            a += h * x[order[k]];
            d += g * x[order[k]];
        }
        auto dwt = executor->dwt(x, 1);
        ASSERT_TRUE(dwt);
        ASSERT_EQ(dwt->approximations.size(), 7u);
        EXPECT_EQ(dwt->approximations[0], a);
        EXPECT_EQ(dwt->details[0], d);
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, WaveletFamilies, ::testing::ValuesIn(supported_isas()),
                         [](const ::testing::TestParamInfo<Isa>& info) {
                             return std::string(isa_name(info.param));
                         });

TEST(WaveletFamilies, FactoriesPickTheConstructorOfTheTapCount) {
    auto db1 = make_daubechies_f32(DaubechiesFamily::Db1, BorderMode::Wrap);
    // Analysis of (1, 0) reads the two coefficients back.
    const std::vector<float> impulse = {1.0f, 0.0f};
    auto dwt = db1->dwt(impulse, 1);
    ASSERT_TRUE(dwt);
    EXPECT_EQ(dwt->approximations, std::vector<float>{0.70710677f});
    EXPECT_EQ(make_daubechies_f32(DaubechiesFamily::Db4, BorderMode::Wrap)->filter_length(), 8u);
    EXPECT_EQ(make_symlet_f32(SymletFamily::Sym4, BorderMode::Wrap)->filter_length(), 8u);
    EXPECT_EQ(make_symlet_f32(SymletFamily::Sym8, BorderMode::Wrap)->filter_length(), 16u);

    const auto is_general = [](const SharedDwtExecutor& executor) {
        const auto& inner = *dynamic_cast<const CompletedDwtExecutor&>(*executor).inner();
        return dynamic_cast<const WaveletNTaps*>(&inner) != nullptr;
    };
    EXPECT_TRUE(
        is_general(make_daubechies_f32(DaubechiesFamily::Db24, BorderMode::Wrap, Isa::Portable)));
    EXPECT_TRUE(is_general(make_symlet_f32(SymletFamily::Sym20, BorderMode::Wrap, Isa::Portable)));
    EXPECT_TRUE(is_general(make_symlet_f32(SymletFamily::Sym7, BorderMode::Wrap, Isa::Portable)));
    EXPECT_FALSE(is_general(make_symlet_f32(SymletFamily::Sym8, BorderMode::Wrap, Isa::Portable)));
}

}  // namespace
}  // namespace Undra
