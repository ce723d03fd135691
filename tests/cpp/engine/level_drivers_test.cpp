#include <gtest/gtest.h>

#include <functional>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "engine/level_analysis.h"
#include "engine/level_synthesis.h"
#include "engine/undra.h"
#include "tests/cpp/engine/filter_bank_support.h"

namespace Undra {
namespace {

using testing_support::random_signal;

using Maker = std::function<SharedDwtExecutor(Isa)>;

const std::vector<std::pair<std::string, Maker>>& makers() {
    static const std::vector<std::pair<std::string, Maker>> table{
        {"cdf97", [](Isa isa) { return make_cdf97_f32(isa); }},
        {"cdf53", [](Isa isa) { return make_cdf53_f32(isa); }},
        {"db4",
         [](Isa isa) { return make_daubechies_f32(DaubechiesFamily::Db4, BorderMode::Wrap, isa); }},
        {"sym4",
         [](Isa isa) { return make_symlet_f32(SymletFamily::Sym4, BorderMode::Wrap, isa); }},
    };
    return table;
}

// Odd and even lengths, so that some levels carry one approximation more than details.
constexpr std::size_t kLength = 1001;
constexpr std::size_t kLevels = 5;

class LevelDrivers : public ::testing::TestWithParam<std::tuple<std::size_t, Isa>> {
  protected:
    SharedDwtExecutor executor() const {
        return makers()[std::get<0>(GetParam())].second(std::get<1>(GetParam()));
    }
};

TEST_P(LevelDrivers, AnalysisIntoTurnTakingArraysMatchesMultiDwt) {
    const auto ex = executor();
    const std::vector<float> x = random_signal(kLength, 3);
    auto multi = ex->multi_dwt(x, kLevels);
    ASSERT_TRUE(multi);
    // Stale values in the reused arrays must not leak into any level.
    const DwtSize first = ex->dwt_size(x.size());
    std::vector<float> even(first.approximations_length, 7.0f),
        odd(first.approximations_length, 7.0f), details(first.details_length, 7.0f);
    LevelAnalysis analysis(*ex, x, even, odd, details);
    for (std::size_t level = 0; level < kLevels; ++level) {
        ASSERT_TRUE(analysis.next());
        const Dwt& expected = multi->levels[level];
        const auto approximations = analysis.approximations(level);
        EXPECT_EQ(std::vector<float>(approximations.begin(), approximations.end()),
                  expected.approximations)
            << "level " << level;
        EXPECT_EQ(std::vector<float>(analysis.details().begin(), analysis.details().end()),
                  expected.details)
            << "level " << level;
    }
}

TEST_P(LevelDrivers, SynthesisThroughDirtyArraysMatchesMultiIdwt) {
    const auto ex = executor();
    const std::vector<float> x = random_signal(kLength, 4);
    auto multi = ex->multi_dwt(x, kLevels);
    ASSERT_TRUE(multi);
    std::vector<std::span<const float>> details;
    for (const Dwt& level : multi->levels) details.emplace_back(level.details);
    const std::span<const float> coarsest = multi->levels.back().approximations;
    auto expected = ex->multi_idwt({details, coarsest});
    ASSERT_TRUE(expected);

    // Filter banks add into their output, so arrays holding earlier values must be cleared
    // by the driver, the one marked zeroed excepted.
    for (const bool even_zeroed : {false, true}) {
        std::vector<float> even(2 * kLength, even_zeroed ? 0.0f : 3.0f), odd(kLength, -5.0f);
        LevelSynthesis synthesis(*ex, coarsest, kLevels, even, odd, even_zeroed);
        for (std::size_t level = kLevels; level-- > 0;) {
            // Each level reads as many approximations as its analysis wrote.
            ASSERT_TRUE(synthesis.next(multi->levels[level].approximations.size(), details[level]));
        }
        ASSERT_EQ(synthesis.output().data(), even.data());
        const auto output = synthesis.output();
        EXPECT_EQ(std::vector<float>(output.begin(), output.end()), *expected)
            << "even_zeroed " << even_zeroed;
    }
}

INSTANTIATE_TEST_SUITE_P(Executors, LevelDrivers,
                         ::testing::Combine(::testing::Range<std::size_t>(0, 4),
                                            ::testing::ValuesIn(supported_isas())),
                         [](const ::testing::TestParamInfo<std::tuple<std::size_t, Isa>>& info) {
                             return makers()[std::get<0>(info.param)].first + "_" +
                                    std::string(isa_name(std::get<1>(info.param)));
                         });

}  // namespace
}  // namespace Undra
