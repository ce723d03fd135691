#include "codec/compressor.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <tuple>

#include "codec/arans/arans.h"
#include "codec/container_limits.h"
#include "codec/decompose.h"
#include "codec/decompressor.h"
#include "codec/encode_pipeline.h"
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
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::vector<uint8_t> compressed(const std::vector<float>& x, CompressionOptions options = {},
                                std::optional<Undra::Isa> isa = std::nullopt) {
    auto out = isa ? compress_on(x, options, *isa) : compress(x, options);
    EXPECT_TRUE(out.has_value()) << out.error().message();
    return out.value_or(std::vector<uint8_t>{});
}

TEST(Compress, WorkedExampleHeaderBytes) {
    const std::vector<uint8_t> bytes = compressed(test_signal(1000));
    ASSERT_GE(bytes.size(), HEADER_SIZE);
    const std::vector<uint8_t> start(bytes.begin(), bytes.begin() + 20);
    EXPECT_EQ(start,
              (std::vector<uint8_t>{0x4B, 0x53, 0x54, 0x56, 0x01, 0x01, 0x66, 0x33, 0x63, 0x66,
                                    0x39, 0x37, 0x06, 0x0B, 0x01, 0x00, 0xE8, 0x03, 0x00, 0x00}));
    EXPECT_EQ(field<uint32_t>(bytes, kPayloadLength), bytes.size() - HEADER_SIZE);
    EXPECT_TRUE(
        std::all_of(bytes.begin() + 36, bytes.begin() + 52, [](uint8_t b) { return b == 0; }));
}

TEST(Compress, RefusesEmptyAndOversizedInput) {
    auto empty = compress({}, {});
    ASSERT_FALSE(empty.has_value());
    EXPECT_EQ(empty.error().message(),
              "Unsupported compression configuration 'Can't compress empty data'");
    // The size check comes before any sample is read, so the span's memory is never touched.
    const float one = 1.0f;
    auto huge = compress(std::span<const float>(&one, std::size_t{3000000000}), {});
    ASSERT_FALSE(huge.has_value());
    EXPECT_EQ(huge.error().message(),
              "Unsupported compression configuration 'Can't compress data bigger than 2147483647, "
              "but data was 3000000000'");
}

TEST(Compress, RefusesInvalidOptions) {
    // Callers validate options first; a record built by hand is refused rather than misused.
    for (uint8_t scale : {uint8_t{5}, uint8_t{13}}) {
        auto out = compress(test_signal(10), {.scale = scale});
        ASSERT_FALSE(out.has_value());
        EXPECT_EQ(out.error().kind(), KestovaErrorKind::UnsupportedScale);
    }
    auto out = compress(test_signal(10), {.method = static_cast<CompressionMethod>(4)});
    ASSERT_FALSE(out.has_value());
    EXPECT_EQ(out.error().kind(), KestovaErrorKind::UnsupportedConfiguration);
}

TEST(Compress, RefusesRangeBeyondFloat) {
    auto out = compress(std::vector<float>{-2e38f, 2e38f, 0.0f}, {});
    ASSERT_FALSE(out.has_value());
    EXPECT_EQ(out.error().kind(), KestovaErrorKind::UnsupportedConfiguration);
    EXPECT_EQ(out.error().message(),
              "Unsupported compression configuration 'Signal range exceeds what 32-bit floats can "
              "represent'");
    // The widest representable range still works.
    EXPECT_TRUE(compress(std::vector<float>{-1.7e38f, 1.7e38f, 0.0f}, {}).has_value());
}

struct SanitizeCase {
    std::vector<float> samples;
    float min;
    float max;
};

class CompressSanitizes : public ::testing::TestWithParam<SanitizeCase> {};

TEST_P(CompressSanitizes, RecordsRangeOfSanitisedSamples) {
    const auto bytes = compressed(GetParam().samples);
    EXPECT_EQ(field<float>(bytes, kSignalMin), GetParam().min);
    EXPECT_EQ(field<float>(bytes, kSignalMax), GetParam().max);
    EXPECT_EQ(field<uint32_t>(bytes, kSampleCount), GetParam().samples.size());
}

INSTANTIATE_TEST_SUITE_P(
    NonFinite, CompressSanitizes,
    ::testing::Values(SanitizeCase{{kNaN, 5.0f}, 0.0f, 5.0f},
                      SanitizeCase{{kInf, -kInf, 3.0f}, 0.0f, 3.0f},
                      SanitizeCase{{-kInf, -2.0f, kNaN, kInf}, -2.0f, 1.0f},
                      // long enough for the vector path, extremes in the tail and lanes
                      SanitizeCase{{1, 2, kNaN, 4, 5, -7, 6, 9, kInf, 2, 3}, -7.0f, 9.0f}));

TEST(Compress, ZeroSignIsThatOfTheFirstZero) {
    // Sequential comparison keeps the first of equal extremes, whichever lane it falls in.
    std::vector<float> x(13, 1.0f);
    x[5] = 0.0f;
    x[2] = -0.0f;
    const auto bytes = compressed(x);
    EXPECT_TRUE(std::signbit(field<float>(bytes, kSignalMin)));
    x[2] = 0.0f;
    x[5] = -0.0f;
    EXPECT_FALSE(std::signbit(field<float>(compressed(x), kSignalMin)));
}

TEST(Compress, FlatSignals) {
    const auto constant = compressed(std::vector<float>(1000, 2.5f));
    EXPECT_EQ(field<float>(constant, kSignalMin), 2.5f);
    EXPECT_EQ(field<float>(constant, kSignalMax), 2.5f);
    EXPECT_EQ(field<float>(constant, kMean), 0.0f);
    const auto single = compressed({7.0f});
    EXPECT_EQ(field<uint32_t>(single, kSampleCount), 1u);
    EXPECT_EQ(single[kLevels], 1);
}

TEST(Compress, OnlyZeroAndSubnormalRangesAreFlat) {
    // Whatever the units, a range with a finite inverse is normalised: two samples give mean 0.5.
    constexpr float kSmallestNormal = std::numeric_limits<float>::min();
    for (float range : {1e-5f, 4e-6f, 1e-12f, 1e-30f, kSmallestNormal}) {
        EXPECT_EQ(field<float>(compressed({0.0f, range}), kMean), 0.5f) << range;
        EXPECT_EQ(field<float>(compressed({-range, 0.0f}), kMean), 0.5f) << range;
    }
    const float subnormal_ranges[] = {std::numeric_limits<float>::denorm_min(),
                                      std::nextafter(kSmallestNormal, 0.0f)};
    for (float range : subnormal_ranges) {
        const auto bytes = compressed({0.0f, range, 0.0f});
        EXPECT_EQ(field<float>(bytes, kMean), 0.0f) << range;
        EXPECT_EQ(field<float>(bytes, kSignalMax), range);
    }
}

TEST(Compress, MeanIsInOrderBinary32Sum) {
    std::vector<float> x(4097);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = std::fmod(static_cast<float>(i) * 0.618f, 1.0f);
    x[17] = 1.0f;
    float lo = x[0], hi = x[0];
    for (float v : x) lo = std::min(lo, v), hi = std::max(hi, v);
    const float inv = 1.0f / (hi - lo);
    float sum = 0.0f;
    for (float v : x) sum += (v - lo) * inv;
    EXPECT_EQ(field<float>(compressed(x), kMean), sum / static_cast<float>(x.size()));
}

struct LevelCase {
    CompressionMethod method;
    std::size_t samples;
    uint8_t levels;
};

class CompressLevels : public ::testing::TestWithParam<LevelCase> {};

TEST_P(CompressLevels, HeaderRecordsLevelRule) {
    const auto bytes = compressed(test_signal(GetParam().samples), {.method = GetParam().method});
    EXPECT_EQ(bytes[kLevels], GetParam().levels);
}

using M = CompressionMethod;
INSTANTIATE_TEST_SUITE_P(Rule, CompressLevels,
                         ::testing::Values(LevelCase{M::Cdf97, 19, 1}, LevelCase{M::Cdf97, 20, 2},
                                           LevelCase{M::Cdf53, 39, 2}, LevelCase{M::Db4, 40, 3},
                                           LevelCase{M::Sym4, 59, 3}, LevelCase{M::Cdf97, 60, 4},
                                           LevelCase{M::Cdf97, 79, 4}, LevelCase{M::Cdf97, 80, 3},
                                           LevelCase{M::Cdf53, 80, 3}, LevelCase{M::Db4, 80, 3},
                                           LevelCase{M::Sym4, 80, 3}, LevelCase{M::Cdf97, 2559, 7},
                                           LevelCase{M::Cdf97, 2560, 8},
                                           LevelCase{M::Cdf53, 1535, 7},
                                           LevelCase{M::Cdf53, 1536, 8}, LevelCase{M::Db4, 2047, 7},
                                           LevelCase{M::Db4, 2048, 8},
                                           LevelCase{M::Sym4, 2048, 8}));

TEST(ComputeMaxLevels, FloorLog2OfQuotientClamped) {
    EXPECT_EQ(compute_max_levels(9, 10), 1u);
    EXPECT_EQ(compute_max_levels(10, 10), 1u);
    EXPECT_EQ(compute_max_levels(39, 10), 1u);
    EXPECT_EQ(compute_max_levels(40, 10), 2u);
    EXPECT_EQ(compute_max_levels(2559, 10), 7u);
    EXPECT_EQ(compute_max_levels(2560, 10), 8u);
    EXPECT_EQ(compute_max_levels(1000000, 10), 8u);
    EXPECT_EQ(compute_max_levels(2147483647, 6), 8u);
    // Only the low 32 bits of the operands take part in the division.
    EXPECT_EQ(compute_max_levels((std::size_t{1} << 32) + 5, 10), 1u);
    EXPECT_EQ(compute_max_levels((std::size_t{1} << 32) + 100, 10), 3u);
    EXPECT_EQ(compute_max_levels(100, (std::size_t{1} << 32) + 10), 1u);
    EXPECT_EQ(compute_max_levels(100, 0), 1u);
}

TEST(Quantize, TruncatesSaturatesAndMapsNaNToZero) {
    const std::vector<float> in = {0.0009f, -0.0019f, 0.5f,  -0.5f, 100.0f,
                                   -100.0f, kInf,     -kInf, kNaN};
    std::vector<int16_t> out(in.size());
    quantize(in, 1024.0f, 0, out);
    EXPECT_EQ(out, (std::vector<int16_t>{0, -1, 512, -512, 32767, -32768, 32767, -32768, 0}));
}

TEST(Quantize, CutoffTables) {
    const std::array<int32_t, 7> low = {0, 0, 1, 1, 2, 2, 3};
    for (uint8_t scale = 6; scale <= 12; ++scale) {
        EXPECT_EQ(cutoff_threshold(scale, CutoffLevel::Low), low[scale - 6]);
        EXPECT_EQ(cutoff_threshold(scale, CutoffLevel::Medium), 3 * low[scale - 6]);
        EXPECT_EQ(cutoff_threshold(scale, CutoffLevel::High), 7 * low[scale - 6]);
        EXPECT_EQ(cutoff_threshold(scale, static_cast<CutoffLevel>(9)), 7 * low[scale - 6]);
    }
}

TEST(Quantize, CutoffZeroesSmallMagnitudesOnly) {
    std::vector<float> in;
    for (int q = -25; q <= 25; ++q) in.push_back(static_cast<float>(q));
    in.push_back(-1e9f);
    std::vector<int16_t> out(in.size());
    quantize(in, 1.0f, 21, out);
    for (std::size_t i = 0; i + 1 < in.size(); ++i) {
        const int q = static_cast<int>(in[i]);
        EXPECT_EQ(out[i], std::abs(q) < 21 ? 0 : q) << q;
    }
    EXPECT_EQ(out.back(), -32768);  // |-32768| counts as 32768
}

struct ClampCase {
    float value;
    bool clamps;
};

class QuantizeReportsClamp : public ::testing::TestWithParam<ClampCase> {};

TEST_P(QuantizeReportsClamp, InVectorBodyAndTail) {
    // The clamp counts only where it changes the truncated value; NaN is not clamped.
    const auto [value, clamps] = GetParam();
    for (std::size_t position : {0u, 5u, 8u, 10u}) {  // vector lanes and scalar tail of 11
        std::vector<float> in(11, 0.25f);
        in[position] = value / 4.0f;
        std::vector<int16_t> out(in.size());
        EXPECT_EQ(quantize(in, 4.0f, 0, out), clamps) << value << " at " << position;
        EXPECT_EQ(quantize_would_clamp(in, 4.0f), clamps) << value << " at " << position;
    }
}

INSTANTIATE_TEST_SUITE_P(Boundaries, QuantizeReportsClamp,
                         ::testing::Values(ClampCase{32767.75f, false}, ClampCase{32768.0f, true},
                                           ClampCase{-32768.75f, false}, ClampCase{-32769.0f, true},
                                           ClampCase{kInf, true}, ClampCase{-kInf, true},
                                           ClampCase{kNaN, false}, ClampCase{1e9f, true}));

TEST(CoderChoice, AransPairLimit) {
    constexpr uint64_t limit_bytes = 2 * arans::kMaxPairCount;
    EXPECT_EQ(select_coder(EntropyCoder::Auto, limit_bytes).value(), 1);
    EXPECT_EQ(select_coder(EntropyCoder::Arans, limit_bytes).value(), 1);
    EXPECT_EQ(select_coder(EntropyCoder::Auto, limit_bytes + 2).value(), 0);
    EXPECT_EQ(select_coder(EntropyCoder::Deflate, limit_bytes + 2).value(), 0);
    EXPECT_EQ(select_coder(EntropyCoder::Deflate, 10).value(), 0);
    const auto refused = select_coder(EntropyCoder::Arans, limit_bytes + 2);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().kind(), KestovaErrorKind::UnsupportedConfiguration);
}

TEST(CoderChoice, PayloadLengthField) {
    EXPECT_EQ(payload_length_field(4294967295u).value(), 4294967295u);
    const auto refused = payload_length_field(uint64_t{1} << 32);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().kind(), KestovaErrorKind::UnsupportedConfiguration);
}

// Inflates a raw deflate stream with plain zlib.
std::vector<uint8_t> zlib_inflate(std::span<const uint8_t> in) {
    z_stream s{};
    EXPECT_EQ(inflateInit2(&s, -15), Z_OK);
    std::vector<uint8_t> out(in.size() * 1100 + 64);
    s.next_in = const_cast<Bytef*>(in.data());
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&s, Z_FINISH), Z_STREAM_END);
    out.resize(s.total_out);
    inflateEnd(&s);
    return out;
}

class CompressCoders
    : public ::testing::TestWithParam<std::tuple<CompressionMethod, std::size_t, Undra::Isa>> {};

TEST_P(CompressCoders, DeflateAndAransCodeTheSameImage) {
    const auto [method, n, isa] = GetParam();
    const auto x = test_signal(n);
    const auto deflated = compressed(x, {.coder = EntropyCoder::Deflate, .method = method}, isa);
    const auto auto_coded = compressed(x, {.coder = EntropyCoder::Auto, .method = method}, isa);
    EXPECT_EQ(deflated[kCoder], 0);
    EXPECT_EQ(auto_coded[kCoder], 1);
    const auto image = zlib_inflate(std::span(deflated).subspan(HEADER_SIZE));
    const auto decoded = arans::decode_stream(std::span(auto_coded).subspan(HEADER_SIZE));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(image, *decoded);
    EXPECT_EQ(image.size() % 2, 0u);
    // The header fields other than the coder and the payload length agree.
    EXPECT_TRUE(std::equal(deflated.begin(), deflated.begin() + kCoder, auto_coded.begin()));
    EXPECT_TRUE(std::equal(deflated.begin() + kCoder + 1, deflated.begin() + kPayloadLength,
                           auto_coded.begin() + kCoder + 1));
}

INSTANTIATE_TEST_SUITE_P(Methods, CompressCoders,
                         ::testing::Combine(::testing::Values(M::Cdf53, M::Cdf97, M::Db4, M::Sym4),
                                            ::testing::Values(1, 81, 5000),
                                            ::testing::ValuesIn(Undra::supported_isas())));

// True when quantisation at `multiplier` clamps none of `values` (every truncated product is an
// int16).
bool fits_int16(std::span<const float> values, float multiplier) {
    return std::all_of(values.begin(), values.end(), [&](float v) {
        const float q = std::trunc(v * multiplier);
        return q >= -32768.0f && q <= 32767.0f;
    });
}

// The level count and coefficient sequence the compressor must write for the working signal
// `signal`, from the engine's whole decomposition over `planned` levels: the largest L whose
// details of levels 0..L-1 and approximations of level L-1 fit without clamping, else 1.
struct ExpectedSequence {
    std::size_t levels = 1;
    std::vector<int16_t> coefficients;
};

ExpectedSequence expected_sequence(const Undra::DwtExecutor& executor,
                                   std::span<const float> signal, std::size_t planned,
                                   float multiplier, int32_t threshold) {
    const auto dwt = executor.multi_dwt(signal, planned).value();
    ExpectedSequence expected;
    for (std::size_t k = 0; k < planned && fits_int16(dwt.levels[k].details, multiplier); ++k) {
        if (fits_int16(dwt.levels[k].approximations, multiplier)) expected.levels = k + 1;
    }
    const auto& approximations = dwt.levels[expected.levels - 1].approximations;
    expected.coefficients.resize(approximations.size());
    quantize(approximations, multiplier, 0, expected.coefficients);
    for (std::size_t k = 0; k < expected.levels; ++k) {
        std::vector<int16_t> q(dwt.levels[k].details.size());
        quantize(dwt.levels[k].details, multiplier, threshold, q);
        expected.coefficients.insert(expected.coefficients.end(), q.begin(), q.end());
    }
    return expected;
}

// The working signal of `x`: sanitised, normalised and extended to the transform length.
std::vector<float> working_signal(const std::vector<float>& x, std::size_t filter_length) {
    const std::size_t n = x.size();
    std::vector<float> signal(std::max(n, filter_length));
    const SampleRange range = sanitize(x, std::span(signal).first(n));
    normalize(std::span(signal).first(n), range);
    for (std::size_t k = n; k < signal.size(); ++k) signal[k] = signal[k - n];
    return signal;
}

// Checks the container's level count and coefficient image against expected_sequence.
void expect_engine_sequence(const std::vector<float>& x, const CompressionOptions& options,
                            Undra::Isa isa) {
    const auto bytes = compressed(x, options, isa);
    const auto executor = make_method_executor_on(options.method, isa);
    const std::size_t planned =
        x.size() < 80 ? x.size() / 20 + 1 : compute_max_levels(x.size(), executor->filter_length());
    const auto expected = expected_sequence(*executor, working_signal(x, executor->filter_length()),
                                            planned, std::ldexp(1.0f, options.scale),
                                            cutoff_threshold(options.scale, options.cutoff));
    ASSERT_EQ(bytes[kLevels], expected.levels);
    const auto image = zlib_inflate(std::span(bytes).subspan(HEADER_SIZE));
    ASSERT_EQ(image.size(), 2 * expected.coefficients.size());
    EXPECT_EQ(std::memcmp(image.data(), expected.coefficients.data(), image.size()), 0);
}

class CompressMatchesEngine
    : public ::testing::TestWithParam<std::tuple<CompressionMethod, std::size_t, Undra::Isa>> {};

TEST_P(CompressMatchesEngine, ImageIsQuantisedMultiDwt) {
    // The level-by-level analysis must give exactly the coefficients of the engine's multi_dwt.
    const auto [method, n, isa] = GetParam();
    expect_engine_sequence(
        test_signal(n),
        {.cutoff = CutoffLevel::Medium, .coder = EntropyCoder::Deflate, .method = method}, isa);
}

INSTANTIATE_TEST_SUITE_P(MethodsAndLengths, CompressMatchesEngine,
                         ::testing::Combine(::testing::Values(M::Cdf53, M::Cdf97, M::Db4, M::Sym4),
                                            ::testing::Values(1, 21, 79, 80, 1001, 4096, 30001),
                                            ::testing::ValuesIn(Undra::supported_isas())));

class CompressLevelChoice
    : public ::testing::TestWithParam<std::tuple<CompressionMethod, Shape, Undra::Isa>> {};

TEST_P(CompressLevelChoice, FewerLevelsOnlyWhereTheLevelRuleWouldClamp) {
    const auto [method, shape, isa] = GetParam();
    for (uint8_t scale : {uint8_t{11}, uint8_t{12}}) {
        SCOPED_TRACE(scale);
        expect_engine_sequence(shaped_signal(shape, 100000),
                               {.coder = EntropyCoder::Deflate, .method = method, .scale = scale},
                               isa);
    }
}

TEST_P(CompressLevelChoice, DecompositionAtAnyAmplitude) {
    // Straight through the level-by-level analysis with unnormalised signals, so that clamping
    // starts at every depth, from none to the details or approximations of level 0; into a
    // sequence of exactly the layout's length (the finest details analysed apart) and into one as
    // the encoders allocate it (analysed into its own memory, over several blocks).
    const auto [method, shape, isa] = GetParam();
    const auto executor = make_method_executor_on(method, isa);
    for (const std::size_t n : {std::size_t{5000}, std::size_t{20011}}) {
        const LevelLayout layout = level_layout(*executor, n, 8);
        const std::size_t allocated = allocate_coefficients(layout).value().size();
        for (const std::size_t room : {layout.coefficients(), allocated}) {
            SCOPED_TRACE(::testing::Message() << "n " << n << " room " << room);
            std::vector<std::size_t> levels_seen;
            for (double amplitude : {0.25, 3.0, 6.0, 12.0, 40.0, 300.0}) {
                SCOPED_TRACE(amplitude);
                const auto x = shaped_signal(shape, n, amplitude);
                auto signal = x;
                std::vector<int16_t> coefficients(room);
                const auto levels =
                    decompose_and_quantize(*executor, layout, signal, 4096.0f, 3, coefficients);
                ASSERT_TRUE(levels.has_value());
                const auto expected = expected_sequence(*executor, x, 8, 4096.0f, 3);
                ASSERT_EQ(*levels, expected.levels);
                coefficients.resize(layout.first_levels(*levels).coefficients());
                EXPECT_EQ(coefficients, expected.coefficients);
                levels_seen.push_back(*levels);
            }
            EXPECT_EQ(levels_seen.front(), 8u);
            EXPECT_EQ(levels_seen.back(), 1u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(MethodsShapesPaths, CompressLevelChoice,
                         ::testing::Combine(::testing::Values(M::Cdf53, M::Cdf97, M::Db4, M::Sym4),
                                            ::testing::ValuesIn(kAllShapes),
                                            ::testing::ValuesIn(Undra::supported_isas())));

}  // namespace
}  // namespace kestova
