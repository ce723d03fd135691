#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/avx/cdf53f.h"
#include "engine/avx/cdf97f.h"
#include "engine/cdf53f.h"
#include "engine/cdf97f.h"
#include "engine/undra.h"

namespace Undra {
namespace {

using K = UndraErrorKind;

struct Transform {
    const char* name;
    SharedDwtExecutor (*make)(Isa);
    std::size_t min_length;
};

void PrintTo(const Transform& t, std::ostream* os) {
    *os << t.name;
}

const Transform kCdf97{"Cdf97", make_cdf97_f32, 4};
const Transform kCdf53{"Cdf53", make_cdf53_f32, 3};

std::vector<float> random_signal(std::size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> x(n);
    for (float& v : x) v = dist(rng);
    return x;
}

std::vector<std::size_t> sizes_of(const MultiDwt& m, bool approximations) {
    std::vector<std::size_t> out;
    for (const Dwt& level : m.levels) {
        out.push_back(approximations ? level.approximations.size() : level.details.size());
    }
    return out;
}

// Whole-array references of the 9/7 analysis and synthesis, straight from the lifting formulas:
// the executors run their steps chunk by chunk and must give the same bits at every length.
// PortableLift rounds sum, product and sum; FusedLift rounds the sum, then one fused multiply-add.
struct PortableLift {
    float operator()(float t, float w, float a, float b) const {
        float sum = a + b;
        sum = sum * w;
        return sum + t;
    }
};

struct FusedLift {
    float operator()(float t, float w, float a, float b) const { return std::fma(w, a + b, t); }
};

const float kAlpha = std::bit_cast<float>(0xBFCB0673u), kBeta = std::bit_cast<float>(0xBD5901AEu),
            kGamma = std::bit_cast<float>(0x3F620676u), kDelta = std::bit_cast<float>(0x3EE31355u),
            kScale = std::bit_cast<float>(0x3F93263Du),
            kDetailScale = std::bit_cast<float>(0x3F5EAF70u);

// s[j] = lift(s[j], w, d[j-1], d[j]) with d[-1] = d[0] and d[e-1] = d[o-1] (mirrored ends).
template <class Lift>
void reference_update(std::vector<float>& s, const std::vector<float>& d, float w) {
    const std::size_t e = s.size(), o = d.size();
    for (std::size_t j = 0; j < e; ++j) {
        s[j] = Lift{}(s[j], w, d[j == 0 ? 0 : j - 1], d[std::min(j, o - 1)]);
    }
}

// d[i] = lift(d[i], w, s[i], s[i+1]) with s[e] = s[e-1].
template <class Lift>
void reference_predict(std::vector<float>& d, const std::vector<float>& s, float w) {
    for (std::size_t i = 0; i < d.size(); ++i) {
        d[i] = Lift{}(d[i], w, s[i], s[std::min(i + 1, s.size() - 1)]);
    }
}

template <class Lift>
Dwt reference_cdf97(const std::vector<float>& x) {
    const std::size_t n = x.size(), e = n - n / 2, o = n / 2;
    std::vector<float> s(e), d(o);
    for (std::size_t j = 0; j < e; ++j) s[j] = x[2 * j];
    for (std::size_t i = 0; i < o; ++i) d[i] = x[2 * i + 1];
    reference_predict<Lift>(d, s, kAlpha);
    reference_update<Lift>(s, d, kBeta);
    reference_predict<Lift>(d, s, kGamma);
    reference_update<Lift>(s, d, kDelta);
    for (float& v : s) v = v * kScale;
    for (float& v : d) v = v * kDetailScale;
    return Dwt{s, d};
}

template <class Lift>
std::vector<float> reference_cdf97_inverse(std::vector<float> s, std::vector<float> d) {
    for (float& v : s) v = v * kDetailScale;
    for (float& v : d) v = v * kScale;
    reference_update<Lift>(s, d, -kDelta);
    reference_predict<Lift>(d, s, -kGamma);
    reference_update<Lift>(s, d, -kBeta);
    reference_predict<Lift>(d, s, -kAlpha);
    std::vector<float> y(s.size() + d.size());
    for (std::size_t j = 0; j < s.size(); ++j) y[2 * j] = s[j];
    for (std::size_t i = 0; i < d.size(); ++i) y[2 * i + 1] = d[i];
    return y;
}

float max_abs_diff(const std::vector<float>& a, const std::vector<float>& b) {
    float worst = 0.0f;
    for (std::size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::fabs(a[i] - b[i]));
    return worst;
}

// Both transforms on every variant this processor runs (Sse must give the portable form).
class Lifting : public ::testing::TestWithParam<std::tuple<Transform, Isa>> {
  protected:
    const Transform& transform() const { return std::get<0>(GetParam()); }
    SharedDwtExecutor executor() const { return transform().make(std::get<1>(GetParam())); }
    std::size_t min_length() const { return transform().min_length; }
};

TEST_P(Lifting, SizeRules) {
    auto ex = executor();
    const std::size_t m = min_length();
    EXPECT_EQ(ex->filter_length(), m == 4 ? 10u : 6u);
    EXPECT_EQ(ex->required_scratch_size(1000), 0u);
    for (std::size_t n = 0; n < m; ++n) EXPECT_EQ(ex->dwt_size(n), (DwtSize{2, m - 2})) << n;
    EXPECT_EQ(ex->dwt_size(4), (DwtSize{2, 2}));
    EXPECT_EQ(ex->dwt_size(5), (DwtSize{3, 2}));
    EXPECT_EQ(ex->dwt_size(1000), (DwtSize{500, 500}));
    EXPECT_EQ(ex->dwt_size(1001), (DwtSize{501, 500}));
    EXPECT_EQ(ex->idwt_size({1, 1}), m);
    EXPECT_EQ(ex->idwt_size({2, 1}), m);
    EXPECT_EQ(ex->idwt_size({3, 2}), 5u);
    EXPECT_EQ(ex->idwt_size({501, 500}), 1001u);
}

TEST_P(Lifting, ForwardChecksInOrderAndWritesNothingOnError) {
    auto ex = executor();
    const std::size_t m = min_length();
    std::vector<float> x(m - 1, 1.0f), s(9, 7.0f), d(9, 7.0f);
    // Too short wins over the (also wrong) output sizes.
    auto r = ex->execute_forward(x, s, d);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message(),
              "Input size " + std::to_string(m - 1) + " can't be less than " + std::to_string(m));
    x.assign(5, 1.0f);
    r = ex->execute_forward(x, std::span(s).first(2), std::span(d).first(3));
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message(), "Approximate size 2 does not match required size 3");
    r = ex->execute_forward(x, std::span(s).first(3), std::span(d).first(3));
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), (UndraError{K::ApproximationSizeMismatch, 3, 2}));
    EXPECT_EQ(s, std::vector<float>(9, 7.0f));
    EXPECT_EQ(d, std::vector<float>(9, 7.0f));
}

TEST_P(Lifting, ScratchIsIgnored) {
    auto ex = executor();
    const auto x = random_signal(37, 1);
    std::vector<float> s1(19), d1(18), s2(19), d2(18);
    ASSERT_TRUE(ex->execute_forward(x, s1, d1));
    ASSERT_TRUE(ex->execute_forward_with_scratch(x, s2, d2, {}));
    EXPECT_EQ(s1, s2);
    EXPECT_EQ(d1, d2);
}

TEST_P(Lifting, InverseWritesNothingOnError) {
    auto ex = executor();
    std::vector<float> s(4, 1.0f), d(2, 1.0f), y(7, 7.0f);
    auto r = ex->execute_inverse(s, d, y);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message(), "Output size should be 6, but it was 7");
    EXPECT_EQ(r.error(), (UndraError{K::OutputSizeMismatch, 7, 6}));
    r = ex->execute_inverse(s, d, std::span(y).first(6));
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message(), "Approximate size 4 does not match required size 3");
    EXPECT_EQ(y, std::vector<float>(7, 7.0f));
    auto idwt = ex->idwt(DwtView{});
    ASSERT_FALSE(idwt);
    EXPECT_EQ(idwt.error().message(), "Approximate size 0 does not match required size 2");
}

TEST_P(Lifting, RoundTripEveryShortLengthAndSomeLongOnes) {
    auto ex = executor();
    std::vector<std::size_t> lengths;
    for (std::size_t n = min_length(); n <= 70; ++n) lengths.push_back(n);
    for (std::size_t n : {1000u, 1001u, 4097u, 65536u, 100003u}) lengths.push_back(n);
    for (std::size_t n : lengths) {
        const auto x = random_signal(n, static_cast<uint32_t>(n));
        const auto original = x;
        auto level = ex->dwt(x, 1);
        ASSERT_TRUE(level) << n;
        EXPECT_EQ(level->approximations.size(), n - n / 2);
        EXPECT_EQ(level->details.size(), n / 2);
        const DwtView view{level->approximations, level->details};
        const auto coefficients = *level;
        auto y = ex->idwt(view);
        ASSERT_TRUE(y) << n;
        ASSERT_EQ(y->size(), n);
        EXPECT_LE(max_abs_diff(*y, x), 1e-6f) << n;
        EXPECT_EQ(x, original);
        EXPECT_EQ(level->approximations, coefficients.approximations);
        EXPECT_EQ(level->details, coefficients.details);

        // As many levels as the length allows, then back.
        std::size_t levels = 0;
        for (std::size_t h = n; h >= min_length(); h -= h / 2) ++levels;
        auto multi = ex->multi_dwt(x, levels);
        ASSERT_TRUE(multi) << n;
        ASSERT_EQ(multi->levels.size(), levels);
        std::vector<std::span<const float>> details;
        for (const Dwt& l : multi->levels) details.emplace_back(l.details);
        auto z = ex->multi_idwt(MultiDwtView{details, multi->levels.back().approximations});
        ASSERT_TRUE(z) << n;
        ASSERT_EQ(z->size(), n);
        EXPECT_LE(max_abs_diff(*z, x), 1e-5f) << n << " levels " << levels;
        EXPECT_EQ(x, original);
    }
}

TEST_P(Lifting, MultiLevelsChainSingleLevels) {
    auto ex = executor();
    const auto x = random_signal(1001, 7);
    auto multi = ex->multi_dwt(x, 4);
    ASSERT_TRUE(multi);
    EXPECT_EQ(sizes_of(*multi, true), (std::vector<std::size_t>{501, 251, 126, 63}));
    EXPECT_EQ(sizes_of(*multi, false), (std::vector<std::size_t>{500, 250, 125, 63}));
    std::span<const float> input = x;
    for (const Dwt& level : multi->levels) {
        auto single = ex->dwt(input, 1);
        ASSERT_TRUE(single);
        EXPECT_EQ(single->approximations, level.approximations);
        EXPECT_EQ(single->details, level.details);
        input = level.approximations;
    }
    auto deepest = ex->dwt(x, 4);
    ASSERT_TRUE(deepest);
    EXPECT_EQ(deepest->approximations, multi->levels.back().approximations);
    EXPECT_EQ(deepest->details, multi->levels.back().details);

    auto one = ex->multi_dwt(x, 0);
    ASSERT_TRUE(one);
    ASSERT_EQ(one->levels.size(), 1u);
    EXPECT_EQ(one->levels[0].details, multi->levels[0].details);
    auto zero_level = ex->dwt(x, 0);
    ASSERT_TRUE(zero_level);
    EXPECT_EQ(zero_level->details, multi->levels[0].details);
}

TEST_P(Lifting, LevelsThatDoNotFitFail) {
    auto ex = executor();
    const std::string too_small = "Buffer was too small for provided level";
    const std::vector<float> x(10, 0.5f);
    // Level inputs 10, 5, 3, 2: 5/3 accepts three levels, 9/7 only two.
    const std::size_t fitting = min_length() == 3 ? 3 : 2;
    auto ok = ex->multi_dwt(x, fitting);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->levels.size(), fitting);
    auto bad = ex->multi_dwt(x, fitting + 1);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().message(), too_small);
    EXPECT_FALSE(ex->dwt(x, fitting + 1));
    EXPECT_TRUE(ex->dwt(x, fitting));
    const std::vector<float> short_signal(min_length() - 1, 1.0f);
    EXPECT_EQ(ex->multi_dwt(short_signal, 1).error().message(), too_small);
    EXPECT_EQ(ex->dwt(short_signal, 0).error().message(), too_small);
    EXPECT_EQ(ex->multi_dwt(x, SIZE_MAX).error().message(), too_small);
}

TEST_P(Lifting, MultiIdwtRejectsEmptyAndMismatchedViews) {
    auto ex = executor();
    const std::vector<float> a(4, 1.0f), d(4, 1.0f);
    const std::vector<std::span<const float>> details{d};
    const std::string zero = "Zero sized input is not supported";
    EXPECT_EQ(ex->multi_idwt(MultiDwtView{{}, a}).error().message(), zero);
    EXPECT_EQ(ex->multi_idwt(MultiDwtView{details, {}}).error().message(), zero);
    // Deepest level reconstructs 8 samples, which cannot pair with 4 finer details.
    const std::vector<std::span<const float>> wrong{d, d};
    auto r = ex->multi_idwt(MultiDwtView{wrong, a});
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message(), "Approximate size 8 does not match required size 6");
}

TEST_P(Lifting, FactoryPicksTheRequestedVariant) {
    auto ex = executor();
    const bool avx = std::get<1>(GetParam()) == Isa::Avx;
    const bool is97 = min_length() == 4;
    const DwtExecutor* p = ex.get();
#if UNDRA_X86_VARIANTS
    EXPECT_EQ(dynamic_cast<const AvxCdf97*>(p) != nullptr, avx && is97);
    EXPECT_EQ(dynamic_cast<const AvxCdf53*>(p) != nullptr, avx && !is97);
#endif
    EXPECT_EQ(dynamic_cast<const Cdf97*>(p) != nullptr, !avx && is97);
    EXPECT_EQ(dynamic_cast<const Cdf53*>(p) != nullptr, !avx && !is97);
}

INSTANTIATE_TEST_SUITE_P(Variants, Lifting,
                         ::testing::Combine(::testing::Values(kCdf97, kCdf53),
                                            ::testing::ValuesIn(supported_isas())),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::string(isa_name(std::get<1>(info.param)));
                         });

class Cdf97Values : public ::testing::TestWithParam<Isa> {};

// Each executor against the whole-array reference of its own arithmetic rule, both directions.
TEST_P(Cdf97Values, MatchesWholeArrayReferenceAcrossChunks) {
    auto ex = make_cdf97_f32(GetParam());
    const bool fused = GetParam() == Isa::Avx;
    // Around the chunk of 1024 approximations: the synthesis window slides at each boundary
    // and its last round may hold only one to three of them.
    for (std::size_t n : {4u, 5u, 6u, 7u, 37u, 2046u, 2047u, 2048u, 2049u, 2050u, 2051u, 4097u,
                          4098u, 4100u, 4102u, 6143u, 6149u, 10001u}) {
        const auto x = random_signal(n, static_cast<uint32_t>(n + 11));
        const Dwt expected =
            fused ? reference_cdf97<FusedLift>(x) : reference_cdf97<PortableLift>(x);
        auto level = ex->dwt(x, 1);
        ASSERT_TRUE(level);
        EXPECT_EQ(level->approximations, expected.approximations) << n;
        EXPECT_EQ(level->details, expected.details) << n;
        // Synthesis of arbitrary coefficients, so that no rounding can cancel out.
        const auto s = random_signal(n - n / 2, static_cast<uint32_t>(n + 12));
        const auto d = random_signal(n / 2, static_cast<uint32_t>(n + 13));
        auto y = ex->idwt({s, d});
        ASSERT_TRUE(y);
        EXPECT_EQ(*y, fused ? reference_cdf97_inverse<FusedLift>(s, d)
                            : reference_cdf97_inverse<PortableLift>(s, d))
            << n;
    }
}

TEST_P(Cdf97Values, ConstantGivesSqrt2Approximations) {
    auto ex = make_cdf97_f32(GetParam());
    std::vector<std::size_t> lengths;
    for (std::size_t n = 4; n <= 70; ++n) lengths.push_back(n);
    lengths.insert(lengths.end(), {2049u, 5001u, 8192u});  // several processing chunks
    for (std::size_t n : lengths) {
        auto level = ex->dwt(std::vector<float>(n, 1.0f), 1);
        ASSERT_TRUE(level);
        for (float a : level->approximations) EXPECT_EQ(a, std::sqrt(2.0f)) << n;
        for (float d : level->details) EXPECT_NEAR(d, 0.0f, 1e-8f) << n;
        if (GetParam() != Isa::Avx) {
            for (float d : level->details) EXPECT_EQ(d, 0.0f) << n;
        }
    }
}

TEST_P(Cdf97Values, InverseErrorTexts) {
    auto ex = make_cdf97_f32(GetParam());
    std::vector<float> s(2, 0.0f), d(1, 0.0f), y(3, 0.0f);
    EXPECT_EQ(ex->execute_inverse(s, d, y).error().message(),
              "Approximate size 1 does not match required size 2");
    EXPECT_EQ(ex->execute_forward(std::vector<float>(3), s, d).error().message(),
              "Input size 3 can't be less than 4");
}

INSTANTIATE_TEST_SUITE_P(Variants, Cdf97Values, ::testing::ValuesIn(supported_isas()),
                         [](const auto& info) { return std::string(isa_name(info.param)); });

class Cdf53Values : public ::testing::TestWithParam<Isa> {};

TEST_P(Cdf53Values, WorkedExamples) {
    auto ex = make_cdf53_f32(GetParam());
    auto three = ex->dwt(std::vector<float>{1, 2, 4}, 1);
    ASSERT_TRUE(three);
    EXPECT_EQ(three->details, (std::vector<float>{-0.5f}));
    EXPECT_EQ(three->approximations, (std::vector<float>{0.75f, 3.75f}));
    auto ramp7 = ex->dwt(std::vector<float>{0, 1, 2, 3, 4, 5, 6}, 1);
    ASSERT_TRUE(ramp7);
    EXPECT_EQ(ramp7->approximations, (std::vector<float>{0, 2, 4, 6}));
    EXPECT_EQ(ramp7->details, (std::vector<float>{0, 0, 0}));
    auto ramp8 = ex->dwt(std::vector<float>{0, 1, 2, 3, 4, 5, 6, 7}, 1);
    ASSERT_TRUE(ramp8);
    EXPECT_EQ(ramp8->approximations, (std::vector<float>{0, 2, 4, 6.25f}));
    EXPECT_EQ(ramp8->details, (std::vector<float>{0, 0, 0, 1}));
    // A long odd ramp spans several processing chunks: evens pass through, details vanish.
    std::vector<float> ramp(5001);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i);
    auto long_ramp = ex->dwt(ramp, 1);
    ASSERT_TRUE(long_ramp);
    for (std::size_t j = 0; j < long_ramp->approximations.size(); ++j) {
        ASSERT_EQ(long_ramp->approximations[j], static_cast<float>(2 * j)) << j;
    }
    EXPECT_EQ(long_ramp->details, std::vector<float>(2500, 0.0f));
    for (std::size_t n = 3; n <= 70; ++n) {
        auto level = ex->dwt(std::vector<float>(n, -3.5f), 1);
        ASSERT_TRUE(level);
        EXPECT_EQ(level->approximations, std::vector<float>(n - n / 2, -3.5f)) << n;
        EXPECT_EQ(level->details, std::vector<float>(n / 2, 0.0f)) << n;
    }
}

TEST_P(Cdf53Values, InverseErrorTexts) {
    auto ex = make_cdf53_f32(GetParam());
    std::vector<float> buf(4, 0.0f);
    const std::span<float> b(buf);
    EXPECT_EQ(ex->execute_inverse(b.first(2), b.first(2), b.first(3)).error().message(),
              "Output size should be 4, but it was 3");
    EXPECT_EQ(ex->execute_inverse(b.first(3), b.first(1), b.first(4)).error().message(),
              "Approximate size 3 does not match required size 2");
    EXPECT_EQ(ex->execute_inverse(b.first(2), b.first(0), b.first(2)).error().message(),
              "Approximate size 0 does not match required size 1");
    EXPECT_EQ(ex->execute_forward(b.first(2), b.first(1), b.first(1)).error().message(),
              "Input size 2 can't be less than 3");
    auto multi = ex->multi_dwt(std::vector<float>(1000, 1.0f), 4);
    ASSERT_TRUE(multi);
    EXPECT_EQ(sizes_of(*multi, true), (std::vector<std::size_t>{500, 250, 125, 63}));
    EXPECT_EQ(sizes_of(*multi, false), (std::vector<std::size_t>{500, 250, 125, 62}));
}

// The synthesis against the whole-array formulas (power-of-two weights: exact on every path),
// around the chunk boundaries where its working window slides.
TEST_P(Cdf53Values, InverseMatchesWholeArrayReferenceAcrossChunks) {
    auto ex = make_cdf53_f32(GetParam());
    for (std::size_t n : {3u, 4u, 5u, 2047u, 2048u, 2049u, 2050u, 4097u, 4098u, 6147u, 10001u}) {
        auto s = random_signal(n - n / 2, static_cast<uint32_t>(n + 21));
        auto d = random_signal(n / 2, static_cast<uint32_t>(n + 22));
        auto y = ex->idwt({s, d});
        ASSERT_TRUE(y);
        reference_update<PortableLift>(s, d, -0.25f);
        reference_predict<PortableLift>(d, s, 0.5f);
        std::vector<float> expected(n);
        for (std::size_t j = 0; j < s.size(); ++j) expected[2 * j] = s[j];
        for (std::size_t i = 0; i < d.size(); ++i) expected[2 * i + 1] = d[i];
        EXPECT_EQ(*y, expected) << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, Cdf53Values, ::testing::ValuesIn(supported_isas()),
                         [](const auto& info) { return std::string(isa_name(info.param)); });

// The vector executors against the portable ones, on every length around the vector blocks.
class PortableVsAvx : public ::testing::TestWithParam<Transform> {};

TEST_P(PortableVsAvx, Agree) {
    if (!isa_supported(Isa::Avx)) GTEST_SKIP() << "no AVX2+FMA on this processor";
    const bool exact = GetParam().min_length == 3;  // power-of-two weights: same bits
    auto portable = GetParam().make(Isa::Portable);
    auto avx = GetParam().make(Isa::Avx);
    std::vector<std::size_t> lengths;
    for (std::size_t n = GetParam().min_length; n <= 140; ++n) lengths.push_back(n);
    for (std::size_t n : {4096u, 4099u, 65537u}) lengths.push_back(n);
    for (std::size_t n : lengths) {
        const auto x = random_signal(n, static_cast<uint32_t>(3 * n));
        auto p = portable->dwt(x, 1);
        auto v = avx->dwt(x, 1);
        ASSERT_TRUE(p && v);
        auto py = portable->idwt({p->approximations, p->details});
        auto vy = avx->idwt({p->approximations, p->details});
        ASSERT_TRUE(py && vy);
        if (exact) {
            EXPECT_EQ(p->approximations, v->approximations) << n;
            EXPECT_EQ(p->details, v->details) << n;
            EXPECT_EQ(*py, *vy) << n;
        } else {
            EXPECT_LE(max_abs_diff(p->approximations, v->approximations), 1e-6f) << n;
            EXPECT_LE(max_abs_diff(p->details, v->details), 1e-6f) << n;
            EXPECT_LE(max_abs_diff(*py, *vy), 1e-6f) << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Transforms, PortableVsAvx, ::testing::Values(kCdf97, kCdf53),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace Undra
