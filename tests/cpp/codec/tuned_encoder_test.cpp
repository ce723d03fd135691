// The tuned encoder: its containers decode with the one decoder on every executor path, its
// rule rounds to nearest with the dead zone and the cutoff, and an error bound holds on every
// path for every method, coder, signal shape and length.
#include "codec/tuned/tuned_compressor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "codec/compressor.h"
#include "codec/decompressor.h"
#include "codec/method_executor.h"
#include "codec/method_table.h"
#include "codec/tuned/tuned_quantizer.h"
#include "tests/cpp/support/codec_paths.h"
#include "tests/cpp/support/codec_test_support.h"

namespace kestova {
namespace {

using namespace testing_support;
using M = CompressionMethod;

double max_error(const std::vector<float>& decoded, const std::vector<float>& x) {
    double worst = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        worst = std::max(worst, std::fabs(static_cast<double>(decoded[i]) - x[i]));
    }
    return worst;
}

double rms_error(const std::vector<float>& decoded, const std::vector<float>& x) {
    double sum = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double e = static_cast<double>(decoded[i]) - x[i];
        sum += e * e;
    }
    return std::sqrt(sum / static_cast<double>(x.size()));
}

double range_of(const std::vector<float>& x) {
    const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    return static_cast<double>(*hi) - static_cast<double>(*lo);
}

// The signal shapes the bound must hold on, each scaled by `amplitude`.
enum class Kind { Sine, Steps, Spikes, Noise, Walk };
constexpr Kind kKinds[] = {Kind::Sine, Kind::Steps, Kind::Spikes, Kind::Noise, Kind::Walk};

std::vector<float> signal_of(Kind kind, std::size_t n, double amplitude) {
    switch (kind) {
        case Kind::Sine:
            return shaped_signal(Shape::Sine, n, amplitude);
        case Kind::Steps:
            return shaped_signal(Shape::Steps, n, amplitude);
        case Kind::Walk:
            return shaped_signal(Shape::RandomWalk, n, amplitude);
        case Kind::Spikes:
        case Kind::Noise:
            break;
    }
    std::mt19937 rng(static_cast<uint32_t>(n));
    std::normal_distribution<double> gauss;
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double v = kind == Kind::Noise ? gauss(rng) : (i % 37 == 5 ? 40.0 : 0.1 * gauss(rng));
        x[i] = static_cast<float>(amplitude * v);
    }
    return x;
}

// ---- the rule ------------------------------------------------------------------------------

TEST(QuantizeNearest, RoundsHalfAwayWithTheDeadZoneAndReportsClamps) {
    const std::vector<float> in = {0.49f, 0.5f,  -0.5f,    -1.5f,    2.49f,
                                   0.89f, -0.9f, 32767.4f, -32768.4f};
    std::vector<int16_t> out(in.size());
    EXPECT_FALSE(quantize_nearest(in, 1.0f, 0.0f, out));
    EXPECT_EQ(out, (std::vector<int16_t>{0, 1, -1, -2, 2, 1, -1, 32767, -32768}));
    EXPECT_FALSE(quantize_nearest(in, 1.0f, 0.9f, out));
    EXPECT_EQ(out, (std::vector<int16_t>{0, 0, 0, -2, 2, 0, -1, 32767, -32768}));
    for (const float beyond : {32767.5f, -32768.5f, std::numeric_limits<float>::infinity()}) {
        std::vector<int16_t> one(1);
        EXPECT_TRUE(quantize_nearest(std::vector<float>{beyond}, 1.0f, 0.0f, one)) << beyond;
        EXPECT_TRUE(nearest_would_clamp(std::vector<float>{beyond}, 1.0f)) << beyond;
        EXPECT_EQ(one[0], beyond > 0 ? 32767 : -32768);
    }
    std::vector<int16_t> one(1);
    EXPECT_FALSE(quantize_nearest(std::vector<float>{std::nanf("")}, 1.0f, 0.0f, one));
    EXPECT_EQ(one[0], 0);
}

// quantize_nearest works eight values at a time and the rest one by one: every lane of the wide
// path and the tail must round, zero and report clamps alike.
TEST(QuantizeNearest, EveryLaneAndTheTailAgree) {
    const float beyond[] = {32767.5f, -32768.5f, std::numeric_limits<float>::infinity()};
    for (std::size_t n : {8u, 17u}) {
        for (std::size_t at = 0; at < n; ++at) {
            for (const float odd : beyond) {
                std::vector<float> in(n, 2.5f);
                in[at] = odd;
                std::vector<int16_t> out(n);
                EXPECT_TRUE(quantize_nearest(in, 1.0f, 0.9f, out)) << n << " " << at;
                EXPECT_EQ(out[at], odd > 0 ? 32767 : -32768);
                EXPECT_EQ(out[(at + 1) % n], 3);
            }
            std::vector<float> in(n, -0.45f);
            in[at] = std::nanf("");
            in[(at + 1) % n] = -2.5f;
            std::vector<int16_t> out(n, 7);
            EXPECT_FALSE(quantize_nearest(in, 2.0f, 0.0f, out)) << n << " " << at;
            EXPECT_EQ(out[at], 0);
            EXPECT_EQ(out[(at + 1) % n], -5);
            EXPECT_EQ(out[(at + 2) % n], n > 2 ? -1 : -5);
            EXPECT_FALSE(quantize_nearest(in, 2.0f, 0.95f, out));
            EXPECT_EQ(out[(at + 2) % n], n > 2 ? 0 : -5);
        }
    }
}

TEST(TunedQuantizer, AppliesTheCutoffToRoundedValuesAndTheDeadZoneBelowIt) {
    // Scale 12 with cutoff high: the reference zeroes |q| < 21, so rounded values below 20.5.
    const TunedQuantizer high(12, CutoffLevel::High);
    std::vector<int16_t> out(2);
    high.details(0, std::vector<float>{20.4f / 4096.0f, 20.6f / 4096.0f}, out);
    EXPECT_EQ(out, (std::vector<int16_t>{0, 21}));
    // Scale 6 cuts nothing: the dead zone alone decides, on every level; approximations are
    // plain rounding.
    const TunedQuantizer six(6, CutoffLevel::High);
    const float below = (kTunedRule.dead_zone[0] - 0.01f) / 64.0f;
    for (std::size_t level : {0u, 3u, 9u}) {
        six.details(level, std::vector<float>{below, 0.95f / 64.0f}, out);
        EXPECT_EQ(out, (std::vector<int16_t>{0, 1})) << level;
    }
    six.approximations(std::vector<float>{0.51f / 64.0f, -0.49f / 64.0f}, out);
    EXPECT_EQ(out, (std::vector<int16_t>{1, 0}));
}

TEST(BoundedScale, StartsAtTheCoarsestScaleTheLoopReaches) {
    EXPECT_EQ(bounded_scale(1.0, M::Cdf97), kMinScale);
    EXPECT_EQ(bounded_scale(1e-9, M::Cdf97), kMaxScale);
    EXPECT_EQ(bounded_scale(0.0, M::Cdf97), kMaxScale);
    // Finer bounds never start coarser, and CDF 5/3 never starts coarser than CDF 9/7.
    for (double b = 0.1; b > 1e-4; b /= 1.5) {
        EXPECT_LE(bounded_scale(b, M::Cdf97), bounded_scale(b / 1.5, M::Cdf97)) << b;
        EXPECT_LE(bounded_scale(b, M::Cdf97), bounded_scale(b, M::Cdf53)) << b;
    }
}

// ---- fixed-scale encoding ------------------------------------------------------------------

class TunedFixed : public ::testing::TestWithParam<std::tuple<M, EntropyCoder, Undra::Isa>> {};

TEST_P(TunedFixed, DecodesOnEveryPathWithLessErrorThanTheReference) {
    const auto [method, coder, isa] = GetParam();
    const auto x = test_signal(5000);
    const CompressionOptions options{.coder = coder, .method = method};
    const auto tuned = compress_tuned_on(x, options, isa);
    const auto reference = compress_on(x, options, isa);
    ASSERT_TRUE(tuned.has_value()) << tuned.error().message();
    // Same header but for the payload length: the tuned encoder chooses only coefficients.
    EXPECT_TRUE(std::equal(tuned->begin(), tuned->begin() + kPayloadLength, reference->begin()));
    const auto on_encoder_path = decompress_on(*tuned, isa).value();
    const auto plain = decompress_on(*reference, isa).value();
    EXPECT_LT(rms_error(on_encoder_path, x), 0.75 * rms_error(plain, x));
    EXPECT_LT(static_cast<double>(tuned->size()), 1.1 * static_cast<double>(reference->size()));
    for (const Undra::Isa reader : Undra::supported_isas()) {
        const auto decoded = decompress_on(*tuned, reader);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_LT(max_error(*decoded, on_encoder_path), 1e-5 * range_of(x));
    }
}

INSTANTIATE_TEST_SUITE_P(MethodsCodersPaths, TunedFixed,
                         ::testing::Combine(::testing::Values(M::Cdf53, M::Cdf97, M::Db4, M::Sym4),
                                            ::testing::Values(EntropyCoder::Deflate,
                                                              EntropyCoder::Arans),
                                            ::testing::ValuesIn(Undra::supported_isas())));

TEST(TunedFixed, RefusesWhatTheReferenceRefuses) {
    EXPECT_FALSE(compress_tuned({}, {}).has_value());
    EXPECT_FALSE(compress_tuned(test_signal(10), {.scale = 13}).has_value());
    EXPECT_FALSE(compress_tuned(std::vector<float>{-2e38f, 2e38f}, {}).has_value());
}

// ---- error-bounded encoding ------------------------------------------------------------------

// Every length from 1 to 80 (below every filter length, and every level-count step), then around
// powers of two.
std::vector<std::size_t> all_lengths() {
    std::vector<std::size_t> lengths;
    for (std::size_t n = 1; n <= 80; ++n) lengths.push_back(n);
    for (const std::size_t n : {127u, 128u, 129u, 511u, 512u, 513u, 2047u, 2048u, 2049u}) {
        lengths.push_back(n);
    }
    return lengths;
}
// The same, thinned below 80, for the tiny and huge amplitudes.
const std::vector<std::size_t> kSomeLengths = {1,  2,  3,  5,  8,   9,   10,  11,   19,   20,
                                               39, 40, 79, 80, 127, 128, 129, 2047, 2048, 2049};
constexpr double kBounds[] = {1e-1, 1e-2, 1e-3, 5e-4};

class BoundHolds : public ::testing::TestWithParam<std::tuple<M, EntropyCoder, Undra::Isa>> {};

TEST_P(BoundHolds, OnEveryPathForEveryShapeLengthAndBound) {
    const auto [method, coder, isa] = GetParam();
    for (const Kind kind : kKinds) {
        for (const double amplitude : {1.0, 1e-12, 1e30}) {
            for (const std::size_t n : amplitude == 1.0 ? all_lengths() : kSomeLengths) {
                const auto x = signal_of(kind, n, amplitude);
                for (const double bound : kBounds) {
                    SCOPED_TRACE(::testing::Message()
                                 << "kind " << static_cast<int>(kind) << " amplitude " << amplitude
                                 << " n " << n << " bound " << bound);
                    const auto out = compress_bounded_on(x, {bound, true}, method, coder, isa);
                    ASSERT_TRUE(out.has_value()) << out.error().message();
                    const double allowed = bound * range_of(x);
                    for (const Undra::Isa reader : Undra::supported_isas()) {
                        const auto decoded = decompress_on(*out, reader);
                        ASSERT_TRUE(decoded.has_value());
                        ASSERT_EQ(decoded->size(), n);
                        ASSERT_LE(max_error(*decoded, x), allowed)
                            << "read on path " << static_cast<int>(reader);
                    }
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(MethodsCodersPaths, BoundHolds,
                         ::testing::Combine(::testing::Values(M::Cdf53, M::Cdf97, M::Db4, M::Sym4),
                                            ::testing::Values(EntropyCoder::Deflate,
                                                              EntropyCoder::Arans),
                                            ::testing::ValuesIn(Undra::supported_isas())));

// The loop screens and corrects samples block by block (denormalising each block as the decoder
// does): lone errors at block edges, and a range next to the largest float, where denormalising
// takes its half-scale way, still meet the bound on every path.
TEST(Bounded, HoldsAtBlockEdgesAndNextToTheLargestFloat) {
    for (const double half_range : {1.0, 1.7e38}) {
        std::vector<float> x = signal_of(Kind::Walk, 5000, 1.0);
        for (const std::size_t i : {63u, 64u, 255u, 256u, 257u, 1023u, 4095u, 4999u}) {
            x[i] += i % 2 == 0 ? 3.0f : -3.0f;
        }
        const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
        const double low = *lo, width = static_cast<double>(*hi) - low;
        for (float& v : x) v = static_cast<float>(half_range * (2.0 * (v - low) / width - 1.0));
        const double allowed = 1e-3 * range_of(x);
        ASSERT_TRUE(std::isfinite(allowed));
        for (const Undra::Isa isa : Undra::supported_isas()) {
            const auto out =
                compress_bounded_on(x, {1e-3, true}, M::Cdf97, EntropyCoder::Auto, isa);
            ASSERT_TRUE(out.has_value()) << half_range << ": " << out.error().message();
            for (const Undra::Isa reader : Undra::supported_isas()) {
                EXPECT_LE(max_error(decompress_on(*out, reader).value(), x), allowed)
                    << half_range << " written on " << static_cast<int>(isa) << ", read on "
                    << static_cast<int>(reader);
            }
        }
    }
}

TEST(Bounded, AnAbsoluteBoundAndAnOpenMethod) {
    const auto x = signal_of(Kind::Walk, 20000, 250.0);
    for (const double bound : {5.0, 0.5}) {
        const auto out = encode_within(x, {bound, false}, std::nullopt, EntropyCoder::Auto);
        ASSERT_TRUE(out.has_value());
        ASSERT_FALSE(out->container.empty());
        EXPECT_LE(max_error(decompress(out->container).value(), x), bound);
        EXPECT_LE(out->max_error, bound);
        EXPECT_TRUE(is_known_method(out->method));
    }
}

TEST(Bounded, CoarserBoundsStoreFewerBytes) {
    const auto x = test_signal(20000);
    std::size_t previous = 0;
    for (const double bound : {5e-4, 1e-3, 1e-2, 1e-1}) {
        const auto out = compress_bounded(x, {bound, true}, M::Cdf97, EntropyCoder::Auto);
        ASSERT_TRUE(out.has_value());
        if (previous != 0) {
            EXPECT_LT(out->size(), previous) << bound;
        }
        previous = out->size();
    }
}

TEST(Bounded, FlatSignalsMeetEvenAZeroBound) {
    for (const std::size_t n : {1u, 7u, 1000u}) {
        const std::vector<float> x(n, 3.25f);
        const auto out = compress_bounded(x, {0.0, false}, M::Cdf97, EntropyCoder::Auto);
        ASSERT_TRUE(out.has_value()) << out.error().message();
        EXPECT_EQ(decompress(*out).value(), x);
    }
}

TEST(Bounded, ABoundBeyondTheFinestScaleNamesTheErrorReached) {
    const auto x = signal_of(Kind::Noise, 4000, 1.0);
    const auto detailed = encode_within(x, {1e-6, true}, M::Cdf97, EntropyCoder::Auto);
    ASSERT_TRUE(detailed.has_value());
    EXPECT_TRUE(detailed->container.empty());
    EXPECT_EQ(detailed->scale, kMaxScale);
    EXPECT_GT(detailed->max_error, 1e-6 * range_of(x));
    const auto out = compress_bounded(x, {1e-6, true}, M::Cdf97, EntropyCoder::Auto);
    ASSERT_FALSE(out.has_value());
    EXPECT_EQ(out.error().kind(), KestovaErrorKind::UnsupportedConfiguration);
    EXPECT_NE(out.error().message().find("cannot be met"), std::string::npos);
    EXPECT_NE(out.error().message().find("leaves a max error of"), std::string::npos);
    EXPECT_NE(out.error().message().find("as fractions of the range"), std::string::npos);
}

TEST(Bounded, RefusesBadBoundsAndNonFiniteSamples) {
    const auto x = test_signal(100);
    for (const double bad : {-1e-3, std::nan(""), std::numeric_limits<double>::infinity()}) {
        const auto out = compress_bounded(x, {bad, true}, M::Cdf97, EntropyCoder::Auto);
        ASSERT_FALSE(out.has_value()) << bad;
        EXPECT_EQ(out.error().kind(), KestovaErrorKind::UnsupportedConfiguration);
    }
    for (const float bad : {std::nanf(""), std::numeric_limits<float>::infinity()}) {
        auto y = x;
        y[50] = bad;
        EXPECT_FALSE(compress_bounded(y, {1e-2, true}, M::Cdf97, EntropyCoder::Auto).has_value());
    }
    EXPECT_FALSE(compress_bounded({}, {1e-2, true}, M::Cdf97, EntropyCoder::Auto).has_value());
}

TEST(PathMargin, CoversTheLargestDifferenceBetweenPaths) {
    const auto paths = Undra::supported_isas();
    for (const Kind kind : kKinds) {
        const auto x = signal_of(kind, 4096, 1.0);
        for (const MethodEntry& entry : kMethods) {
            const auto out = compress_bounded(x, {5e-4, true}, entry.method, EntropyCoder::Auto);
            ASSERT_TRUE(out.has_value());
            const auto first = decompress_on(*out, paths.front()).value();
            const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
            for (const Undra::Isa isa : paths) {
                // Paths differ in the last bits only: well inside the margin.
                EXPECT_LT(max_error(decompress_on(*out, isa).value(), first),
                          path_margin(*lo, *hi) / 4.0)
                    << entry.name;
            }
        }
    }
}

}  // namespace
}  // namespace kestova
