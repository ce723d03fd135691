#include "codec/decompressor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <tuple>

#include "codec/arans/arans.h"
#include "codec/compressor.h"
#include "codec/deflate.h"
#include "codec/header.h"
#include "codec/level_layout.h"
#include "codec/method_executor.h"
#include "codec/normalize.h"
#include "codec/quantize.h"
#include "tests/cpp/support/codec_paths.h"
#include "tests/cpp/support/codec_test_support.h"

namespace kestova {
namespace {

using namespace testing_support;
using M = CompressionMethod;

std::vector<uint8_t> compressed(const std::vector<float>& x, CompressionOptions options = {},
                                std::optional<Undra::Isa> isa = std::nullopt) {
    auto out = isa ? compress_on(x, options, *isa) : compress(x, options);
    EXPECT_TRUE(out.has_value()) << out.error().message();
    return out.value_or(std::vector<uint8_t>{});
}

// The message of a decompression that must fail.
std::string failure(const std::vector<uint8_t>& bytes) {
    auto out = decompress(bytes);
    EXPECT_FALSE(out.has_value());
    return out.has_value() ? std::string("<no error>") : out.error().message();
}

// Largest reconstruction error that quantisation (and the cutoff) allows, relative to the
// signal's range: every coefficient is off by less than max(T, 1) steps of 2^-scale, and the
// synthesis of all levels adds those errors up with a bounded gain.
float allowed_error(const CompressionOptions& o, float range) {
    const int32_t steps = std::max(cutoff_threshold(o.scale, o.cutoff), 1);
    return 6.0f * static_cast<float>(steps) * std::ldexp(1.0f, -o.scale) * range;
}

// Largest reconstruction error of `x` through compress and decompress on path `isa`, relative
// to the signal's range.
float relative_error(const std::vector<float>& x, const CompressionOptions& o, Undra::Isa isa) {
    const auto out = decompress_on(compressed(x, o, isa), isa);
    EXPECT_TRUE(out.has_value());
    if (!out.has_value()) return 1.0f;
    const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    double worst = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        worst = std::max(worst, std::fabs(double((*out)[i]) - double(x[i])));
    }
    return static_cast<float>(worst / (double(*hi) - double(*lo)));
}

void expect_round_trip(const std::vector<float>& x, const CompressionOptions& o, Undra::Isa isa) {
    const auto bytes = compressed(x, o, isa);
    const auto out = decompress_on(bytes, isa);
    ASSERT_TRUE(out.has_value()) << out.error().message();
    ASSERT_EQ(out->size(), x.size());
    const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    const float tolerance = allowed_error(o, *hi - *lo);
    float worst = 0.0f;
    for (std::size_t i = 0; i < x.size(); ++i) worst = std::max(worst, std::fabs((*out)[i] - x[i]));
    EXPECT_LE(worst, tolerance) << "n=" << x.size() << " method=" << int(o.method)
                                << " scale=" << int(o.scale) << " cutoff=" << int(o.cutoff);
}

class RoundTripLengths : public ::testing::TestWithParam<std::tuple<M, EntropyCoder, Undra::Isa>> {
};

TEST_P(RoundTripLengths, EveryShortLength) {
    const auto [method, coder, isa] = GetParam();
    for (std::size_t n = 1; n <= 100; ++n) {
        expect_round_trip(test_signal(n, static_cast<uint32_t>(n)),
                          {.coder = coder, .method = method}, isa);
    }
}

TEST_P(RoundTripLengths, LongOddAndEven) {
    const auto [method, coder, isa] = GetParam();
    for (std::size_t n : {4097u, 65536u, 100001u}) {
        expect_round_trip(test_signal(n), {.coder = coder, .method = method}, isa);
    }
}

INSTANTIATE_TEST_SUITE_P(MethodsAndCoders, RoundTripLengths,
                         ::testing::Combine(::testing::Values(M::Cdf53, M::Cdf97, M::Db4, M::Sym4),
                                            ::testing::Values(EntropyCoder::Deflate,
                                                              EntropyCoder::Arans),
                                            ::testing::ValuesIn(Undra::supported_isas())));

class RoundTripOptions
    : public ::testing::TestWithParam<std::tuple<M, uint8_t, CutoffLevel, Undra::Isa>> {};

TEST_P(RoundTripOptions, ScalesAndCutoffs) {
    const auto [method, scale, cutoff, isa] = GetParam();
    for (std::size_t n : {3u, 64u, 777u, 3000u}) {
        expect_round_trip(test_signal(n), {.cutoff = cutoff, .method = method, .scale = scale},
                          isa);
    }
}

INSTANTIATE_TEST_SUITE_P(All, RoundTripOptions,
                         ::testing::Combine(::testing::Values(M::Cdf53, M::Cdf97, M::Db4, M::Sym4),
                                            ::testing::Values(6, 7, 8, 9, 10, 11, 12),
                                            ::testing::Values(CutoffLevel::Low, CutoffLevel::Medium,
                                                              CutoffLevel::High),
                                            ::testing::ValuesIn(Undra::supported_isas())));

class Precision : public ::testing::TestWithParam<std::tuple<M, Shape, Undra::Isa>> {};

TEST_P(Precision, SameRelativeErrorAtEveryAmplitude) {
    // Normalisation makes the units irrelevant: tiny and huge signals keep their shape.
    const auto [method, shape, isa] = GetParam();
    const CompressionOptions options{.method = method};
    const float unit = relative_error(shaped_signal(shape, 3000), options, isa);
    for (double amplitude : {1e-30, 1e-12, 4e-6, 1e-5, 1e30}) {
        const float error = relative_error(shaped_signal(shape, 3000, amplitude), options, isa);
        EXPECT_NEAR(error, unit, 0.01f * unit) << amplitude;
    }
}

TEST_P(Precision, ScaleTwelveIsAtLeastAsPreciseAsEleven) {
    // Where scale 12 would clamp its coarse approximations the error used to grow tenfold.
    // Without clamping the two scales' truncation and cutoff errors are of one size and the
    // maximum may fall either way by a little (sym4 on the sine: 2.7e-4 against 2.5e-4).
    const auto [method, shape, isa] = GetParam();
    for (std::size_t n : {5000u, 100000u}) {
        const auto x = shaped_signal(shape, n);
        EXPECT_LE(relative_error(x, {.method = method, .scale = 12}, isa),
                  1.25f * relative_error(x, {.method = method, .scale = 11}, isa))
            << n;
    }
}

INSTANTIATE_TEST_SUITE_P(MethodsShapesPaths, Precision,
                         ::testing::Combine(::testing::Values(M::Cdf53, M::Cdf97, M::Db4, M::Sym4),
                                            ::testing::ValuesIn(kAllShapes),
                                            ::testing::ValuesIn(Undra::supported_isas())));

TEST(Decompress, FlatSignalGivesItsValue) {
    for (std::size_t n : {1u, 9u, 1000u}) {
        const auto out = decompress(compressed(std::vector<float>(n, -3.25f)));
        ASSERT_TRUE(out.has_value());
        EXPECT_EQ(*out, std::vector<float>(n, -3.25f));
    }
    // A subnormal range is flat: every sample comes back as the minimum.
    const float tiny = std::nextafter(std::numeric_limits<float>::min(), 0.0f);
    const auto out = decompress(compressed({0.0f, tiny, 0.0f, tiny}));
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(*out, std::vector<float>(4, 0.0f));
}

TEST(Decompress, NearMaximalRangeStaysFinite) {
    // (v + mean) * range overflows here for samples at the top although the result fits; at
    // scale 6 quantisation error can even push the result itself past the largest float.
    std::vector<float> x(64);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = i % 3 == 0 ? -1.7014e38f : 1.7014e38f;
    for (M method : {M::Cdf53, M::Cdf97, M::Db4}) {
        for (uint8_t scale : {uint8_t{6}, uint8_t{11}}) {
            const CompressionOptions options{.method = method, .scale = scale};
            const auto out = decompress(compressed(x, options));
            ASSERT_TRUE(out.has_value());
            for (std::size_t i = 0; i < x.size(); ++i) {
                ASSERT_TRUE(std::isfinite((*out)[i])) << i;
                EXPECT_NEAR((*out)[i], x[i], allowed_error(options, 3.4e38f));
            }
        }
    }
    // Here the reconstruction of the largest sample exceeds the largest float: it is held there.
    const std::vector<float> y = {0, 0, -1e36f, 0, 0, 0, 3.3896e38f, 2.29e38f, 0, 0, 0};
    const CompressionOptions options{.method = M::Sym4, .scale = 6};
    const auto out = decompress(compressed(y, options));
    ASSERT_TRUE(out.has_value());
    for (std::size_t i = 0; i < y.size(); ++i) {
        ASSERT_TRUE(std::isfinite((*out)[i])) << i;
        EXPECT_NEAR((*out)[i], y[i], allowed_error(options, 3.4e38f));
    }
}

TEST(Decompress, HeaderErrorsPassThrough) {
    auto bytes = compressed(test_signal(100));
    EXPECT_EQ(failure(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 51)),
              "Header is invalid");
    bytes[0] = 'X';
    EXPECT_EQ(failure(bytes), "Magic should be 'KSTV' but it was 'XSTV'");
}

TEST(Decompress, ChecksRunInOrder) {
    const auto good = compressed(test_signal(100));
    auto bytes = good;
    patch<uint32_t>(bytes, kSampleCount, 0x80000000u);
    bytes[kLevels] = 11;
    EXPECT_EQ(
        failure(bytes),
        "Can't decompress data, reason: Can't decompress data bigger than 2147483647, but data "
        "was 2147483648");
    patch<uint32_t>(bytes, kSampleCount, 100);
    patch<uint32_t>(bytes, kPayloadLength, 1000000);  // the level checks precede the bounds check
    EXPECT_EQ(failure(bytes),
              "Can't decompress data, reason: Max supported level is 10 but it was 11");
    bytes[kLevels] = 0;
    EXPECT_EQ(failure(bytes),
              "Can't decompress data, reason: Min supported level is 1 but it was 0");
    bytes[kLevels] = good[kLevels];
    EXPECT_EQ(failure(bytes),
              "Can't decompress data, reason: Minimum data size is 1000052, but it was " +
                  std::to_string(bytes.size()));
}

TEST(Decompress, PayloadBoundsMessage) {
    auto bytes = compressed(test_signal(100));
    bytes.resize(120);
    patch<uint32_t>(bytes, kPayloadLength, 100);
    EXPECT_EQ(failure(bytes),
              "Can't decompress data, reason: Minimum data size is 152, but it was 120");
}

TEST(Decompress, AransErrorsCarryTheirText) {
    const auto good = compressed(test_signal(5000), {.coder = EntropyCoder::Arans});
    auto bytes = good;
    bytes[HEADER_SIZE + 1] = 9;  // context width above 8
    EXPECT_EQ(failure(bytes),
              "Can't decompress data, reason: Inconsistent or oversized length in stream");
    bytes = good;
    bytes.resize(HEADER_SIZE + 40);
    patch<uint32_t>(bytes, kPayloadLength, 40);
    EXPECT_EQ(failure(bytes), "Can't decompress data, reason: Stream truncated");
}

TEST(Decompress, CorruptDeflateStream) {
    auto bytes = compressed(test_signal(5000), {.coder = EntropyCoder::Deflate});
    bytes[HEADER_SIZE] = 0x07;  // final block of the reserved type 3
    EXPECT_EQ(failure(bytes), "Can't decompress data, reason: corrupt deflate stream");
}

TEST(Decompress, ShortCoefficientSequenceIsAnError) {
    for (EntropyCoder coder : {EntropyCoder::Deflate, EntropyCoder::Arans}) {
        const auto good = compressed(test_signal(5000), {.coder = coder});
        auto bytes = good;
        patch<uint32_t>(bytes, kSampleCount, 5001);  // needs one coefficient more than coded
        EXPECT_EQ(decompress(bytes).error().kind(), KestovaErrorKind::DecompressionFailed);
        EXPECT_EQ(failure(bytes).rfind("Can't decompress data, reason: Decoded data holds ", 0),
                  0u);
        // A forged maximal sample count fails without allocating for it.
        patch<uint32_t>(bytes, kSampleCount, 2147483647u);
        EXPECT_EQ(decompress(bytes).error().kind(), KestovaErrorKind::DecompressionFailed);
    }
    // A deflate payload cut short inflates to fewer bytes than the levels use.
    auto bytes = compressed(test_signal(5000), {.coder = EntropyCoder::Deflate});
    const uint32_t half = field<uint32_t>(bytes, kPayloadLength) / 2;
    patch<uint32_t>(bytes, kPayloadLength, half);
    bytes.resize(HEADER_SIZE + half);
    EXPECT_EQ(decompress(bytes).error().kind(), KestovaErrorKind::DecompressionFailed);
}

TEST(Decompress, IgnoresBytesAfterPayloadAndOddImageByte) {
    const auto x = test_signal(300);
    const auto bytes = compressed(x, {.coder = EntropyCoder::Arans});
    const auto reference = decompress(bytes);
    ASSERT_TRUE(reference.has_value());
    auto longer = bytes;
    longer.insert(longer.end(), {1, 2, 3, 4, 5});
    EXPECT_EQ(decompress(longer).value(), *reference);
    // Re-code the image with one extra byte: only complete 16-bit values count.
    auto image = arans::decode_stream(std::span(bytes).subspan(HEADER_SIZE)).value();
    image.push_back(0x7F);
    const auto payload = arans::encode_stream(image);
    std::vector<uint8_t> odd(bytes.begin(), bytes.begin() + HEADER_SIZE);
    odd.insert(odd.end(), payload.begin(), payload.end());
    patch<uint32_t>(odd, kPayloadLength, static_cast<uint32_t>(payload.size()));
    EXPECT_EQ(decompress(odd).value(), *reference);
}

TEST(Decompress, AcceptsNineAndTenLevels) {
    // The compressor never writes these; a flat image of the right size decodes to signal_min.
    auto bytes = compressed(std::vector<float>(4096, 0.5f), {.coder = EntropyCoder::Deflate});
    for (uint8_t levels : {uint8_t{9}, uint8_t{10}}) {
        bytes[kLevels] = levels;
        const auto out = decompress(bytes);
        ASSERT_TRUE(out.has_value()) << out.error().message();
        EXPECT_EQ(*out, std::vector<float>(4096, 0.5f));
    }
}

class DecompressMatchesEngine
    : public ::testing::TestWithParam<std::tuple<M, std::size_t, Undra::Isa>> {};

TEST_P(DecompressMatchesEngine, SameSamplesAsMultiIdwt) {
    // The level-by-level synthesis must give exactly what the engine's multi_idwt gives.
    const auto [method, n, isa] = GetParam();
    const auto bytes =
        compressed(test_signal(n), {.coder = EntropyCoder::Arans, .method = method}, isa);
    const auto image = arans::decode_stream(std::span(bytes).subspan(HEADER_SIZE)).value();
    const auto executor = make_method_executor_on(method, isa);
    const auto layout =
        level_layout(*executor, std::max(n, executor->filter_length()), bytes[kLevels]);
    std::vector<float> coefficients(layout.coefficients());
    dequantize(image, 1.0f / 2048.0f, coefficients);
    std::vector<std::span<const float>> details;
    for (std::size_t k = 0; k < layout.sizes.size(); ++k) {
        details.push_back(std::span<const float>(coefficients)
                              .subspan(layout.details_offset(k), layout.sizes[k].details_length));
    }
    auto expected =
        executor
            ->multi_idwt({.details = details,
                          .approximations =
                              std::span<const float>(coefficients).first(layout.approximations)})
            .value();
    expected.resize(n);
    denormalize(expected, field<float>(bytes, kMean),
                {field<float>(bytes, kSignalMin), field<float>(bytes, kSignalMax)});
    EXPECT_EQ(decompress_on(bytes, isa).value(), expected);
}

INSTANTIATE_TEST_SUITE_P(MethodsAndLengths, DecompressMatchesEngine,
                         ::testing::Combine(::testing::Values(M::Cdf53, M::Cdf97, M::Db4, M::Sym4),
                                            ::testing::Values(1, 21, 79, 80, 1001, 4096, 30001),
                                            ::testing::ValuesIn(Undra::supported_isas())));

class ForgedLevels : public ::testing::TestWithParam<std::tuple<M, std::size_t, Undra::Isa>> {};

TEST_P(ForgedLevels, EveryLevelCountDecodesAsMultiIdwtDoes) {
    // Containers with any accepted level count (not only the compressor's), random coefficients:
    // the samples, or the engine's error as Transform, are exactly those of multi_idwt.
    const auto [method, n, isa] = GetParam();
    const auto executor = make_method_executor_on(method, isa);
    const std::size_t transform_length = std::max(n, executor->filter_length());
    std::mt19937 rng(static_cast<uint32_t>(n));
    for (uint8_t levels = 1; levels <= 10; ++levels) {
        const auto layout = level_layout(*executor, transform_length, levels);
        std::vector<uint8_t> image(2 * layout.coefficients());
        for (auto& b : image) b = static_cast<uint8_t>(rng() % 7 == 0 ? rng() : 0);
        auto bytes = compressed(test_signal(n), {.coder = EntropyCoder::Deflate, .method = method});
        bytes.resize(HEADER_SIZE);
        ASSERT_TRUE(deflate_raw(image, bytes).has_value());
        patch<uint32_t>(bytes, kPayloadLength, static_cast<uint32_t>(bytes.size() - HEADER_SIZE));
        bytes[kLevels] = levels;

        std::vector<float> coefficients(layout.coefficients());
        dequantize(image, 1.0f / 2048.0f, coefficients);
        std::vector<std::span<const float>> details;
        for (std::size_t k = 0; k < levels; ++k) {
            details.push_back(
                std::span<const float>(coefficients)
                    .subspan(layout.details_offset(k), layout.sizes[k].details_length));
        }
        auto expected = executor->multi_idwt(
            {.details = details,
             .approximations = std::span<const float>(coefficients).first(layout.approximations)});
        const auto out = decompress_on(bytes, isa);
        if (!expected) {
            ASSERT_FALSE(out.has_value()) << int(levels);
            EXPECT_EQ(out.error().kind(), KestovaErrorKind::Transform);
            EXPECT_EQ(out.error().message(), expected.error().message());
            continue;
        }
        ASSERT_TRUE(out.has_value()) << int(levels) << ": " << out.error().message();
        const std::size_t kept = std::min(n, expected->size());
        expected->resize(kept);
        denormalize(*expected, field<float>(bytes, kMean),
                    {field<float>(bytes, kSignalMin), field<float>(bytes, kSignalMax)});
        expected->resize(n, 0.0f);
        EXPECT_EQ(*out, *expected) << int(levels);
    }
}

INSTANTIATE_TEST_SUITE_P(MethodsAndLengths, ForgedLevels,
                         ::testing::Combine(::testing::Values(M::Cdf53, M::Cdf97, M::Db4, M::Sym4),
                                            ::testing::Values(1, 37, 1001, 4096),
                                            ::testing::ValuesIn(Undra::supported_isas())));

TEST(Decompress, EngineErrorOfForgedLevelsIsTransform) {
    // 100 samples cannot be split into ten levels: the engine's inverse refuses the sizes.
    auto bytes = compressed(std::vector<float>(100, 1.0f), {.coder = EntropyCoder::Deflate});
    std::vector<uint8_t> payload;
    ASSERT_TRUE(deflate_raw(std::vector<uint8_t>(2 * 108, 0), payload).has_value());
    bytes.resize(HEADER_SIZE);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    patch<uint32_t>(bytes, kPayloadLength, static_cast<uint32_t>(payload.size()));
    bytes[kLevels] = 10;
    EXPECT_EQ(decompress(bytes).error().kind(), KestovaErrorKind::Transform);
}

TEST(Decompress, BitFlipsNeverCrash) {
    for (EntropyCoder coder : {EntropyCoder::Deflate, EntropyCoder::Arans}) {
        const auto good = compressed(test_signal(200), {.coder = coder});
        for (std::size_t bit = 8 * HEADER_SIZE; bit < 8 * good.size(); bit += 3) {
            auto bytes = good;
            bytes[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
            const auto out = decompress(bytes);
            if (out.has_value()) {
                EXPECT_EQ(out->size(), 200u);
            }
        }
    }
}

}  // namespace
}  // namespace kestova
