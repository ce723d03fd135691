// Version-2 streams: bounds met on every test signal and length, integer sources exact, targets
// refused with one clear error, and any single damaged, dropped or added byte reported. The v2
// pipeline has no processor-specific path (integer arithmetic and one float64 multiply-add per
// sample, never fused), so one run covers every processor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "codec/decompressor.h"
#include "codec/v2/decoder.h"
#include "codec/v2/encoder.h"
#include "tests/cpp/support/codec_test_support.h"

namespace kestova::v2 {
namespace {

using testing_support::kAllShapes;
using testing_support::Shape;
using testing_support::shape_name;
using testing_support::shaped_signal;

template <typename T>
SampleView view_of(const std::vector<T>& x) {
    const auto type = [] {
        if constexpr (std::is_same_v<T, float>) return ElementType::Float32;
        if constexpr (std::is_same_v<T, double>) return ElementType::Float64;
        if constexpr (std::is_same_v<T, int8_t>) return ElementType::Int8;
        if constexpr (std::is_same_v<T, uint8_t>) return ElementType::Uint8;
        if constexpr (std::is_same_v<T, int16_t>) return ElementType::Int16;
        if constexpr (std::is_same_v<T, uint16_t>) return ElementType::Uint16;
        if constexpr (std::is_same_v<T, int32_t>) return ElementType::Int32;
        return ElementType::Uint32;
    }();
    return {type, x.data(), x.size()};
}

template <typename T>
std::vector<T> decoded_as(std::span<const uint8_t> stream) {
    const auto decoded = decode(stream);
    EXPECT_TRUE(decoded.has_value()) << (decoded ? "" : decoded.error().message());
    if (!decoded) return {};
    std::vector<T> out(decoded->samples.size() / sizeof(T));
    std::memcpy(out.data(), decoded->samples.data(), decoded->samples.size());
    return out;
}

template <typename T>
double max_error(const std::vector<T>& a, const std::vector<T>& b) {
    double worst = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        worst = std::max(worst, std::abs(static_cast<double>(a[i]) - static_cast<double>(b[i])));
    }
    return worst;
}

double range_of(const std::vector<float>& x) {
    const auto [lo, hi] = std::ranges::minmax(x);
    return static_cast<double>(hi) - static_cast<double>(lo);
}

// Spikes on a flat line and uniform noise, beside the shared shapes.
std::vector<float> spikes(std::size_t n) {
    std::vector<float> x(n, 0.25f);
    for (std::size_t i = 3; i < n; i += 17) x[i] = (i % 2 != 0) ? 40.0f : -7.0f;
    return x;
}

std::vector<float> noise(std::size_t n) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> x(n);
    for (auto& v : x) v = u(rng);
    return x;
}

std::vector<std::size_t> lengths() {
    std::vector<std::size_t> out;
    for (std::size_t n = 1; n <= 80; ++n) out.push_back(n);
    for (const std::size_t p : {std::size_t{1} << 10, std::size_t{1} << 16, std::size_t{1} << 17}) {
        out.insert(out.end(), {p - 1, p, p + 1});
    }
    return out;
}

TEST(V2Stream, EveryShapeLengthAndBoundIsMet) {
    std::vector<std::pair<std::string, std::vector<float> (*)(std::size_t)>> signals{
        {"spikes", spikes}, {"noise", noise}};
    for (const Shape shape : kAllShapes) {
        for (const std::size_t n : lengths()) {
            for (const double scale : {1.0, 1e-20, 3e20}) {  // the range's magnitude
                std::vector<float> x = shaped_signal(shape, n, scale);
                if (shape == Shape::Ramp) x = n % 2 ? spikes(n) : noise(n);
                for (const double bound : {1e-2, 1e-4, 1e-6}) {
                    const auto encoded = encode(view_of(x), {bound, true});
                    ASSERT_TRUE(encoded) << shape_name(shape) << " n=" << n << " bound=" << bound
                                         << ": " << encoded.error().message();
                    const auto y = decoded_as<float>(encoded->stream);
                    ASSERT_EQ(y.size(), n);
                    const double error = max_error(x, y);
                    EXPECT_LE(error, bound * range_of(x)) << shape_name(shape) << " n=" << n;
                    EXPECT_EQ(error, encoded->max_error);
                }
            }
        }
    }
}

TEST(V2Stream, AbsoluteBoundsAndFloat64) {
    const auto x32 = shaped_signal(Shape::RandomWalk, 5000, 100.0);
    const std::vector<double> x(x32.begin(), x32.end());
    for (const double bound : {10.0, 0.5, 1e-3, 1e-7}) {
        const auto encoded = encode(view_of(x), {bound, false});
        ASSERT_TRUE(encoded) << encoded.error().message();
        EXPECT_LE(max_error(x, decoded_as<double>(encoded->stream)), bound);
    }
    const auto too_fine = encode(view_of(x), {1e-9, false});  // 2^32 steps cannot span the range
    ASSERT_FALSE(too_fine);
    EXPECT_NE(too_fine.error().message().find("32-bit"), std::string::npos);
}

// Grids of nearly 2^32 steps, through 0 (the origin moves down by up to a step): the top samples
// round to indices at or beyond the last, which the quantiser clamps. Met with the error it
// reports, or refused as too fine.
TEST(V2Stream, GridsUpToTheLastIndex) {
    const std::vector<double> x{-1.0, 0.0, 1.0, 0.999999999, -0.3, 1.0, -1.0, 0.5};
    for (const double steps : {4294967294.0, 4294967294.5, 4294967295.0, 4294967295.4}) {
        const double bound = 1.0 / steps + 0x1p-49;  // a step of range / steps (float64 allowance)
        const auto encoded = encode(view_of(x), {bound, false});
        if (!encoded) {
            EXPECT_NE(encoded.error().message().find("32-bit"), std::string::npos) << steps;
            continue;
        }
        const double error = max_error(x, decoded_as<double>(encoded->stream));
        EXPECT_LE(error, bound) << steps;
        EXPECT_EQ(error, encoded->max_error) << steps;
    }
}

TEST(V2Stream, BoundsBeyondTheSamplesPrecisionAreRefusedWithTheErrorReached) {
    std::vector<float> x(300);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = 1e3f + 1e-3f * std::sin(0.1f * i);
    const auto encoded = encode(view_of(x), {1e-3, true});
    ASSERT_FALSE(encoded);
    EXPECT_EQ(encoded.error().kind(), KestovaErrorKind::UnsupportedConfiguration);
    EXPECT_NE(encoded.error().message().find("precision"), std::string::npos);
}

TEST(V2Stream, PsnrTargetsAreReached) {
    for (const Shape shape : kAllShapes) {
        const auto x = shape == Shape::Ramp ? noise(5000) : shaped_signal(shape, 5000, 7.0);
        std::size_t previous = 0;
        for (const double psnr : {100.0, 70.0, 40.0, 10.0}) {
            const auto encoded = encode_psnr(view_of(x), psnr);
            ASSERT_TRUE(encoded) << encoded.error().message();
            const auto y = decoded_as<float>(encoded->stream);
            double squares = 0.0;
            for (std::size_t i = 0; i < x.size(); ++i) {
                squares += std::pow(static_cast<double>(y[i]) - static_cast<double>(x[i]), 2);
            }
            const double rms = std::sqrt(squares / static_cast<double>(x.size()));
            EXPECT_GE(20.0 * std::log10(range_of(x) / rms), psnr) << shape_name(shape);
            if (previous != 0) {
                EXPECT_LE(encoded->stream.size(), previous);  // fewer dB, no more bytes
            }
            previous = encoded->stream.size();
        }
    }
    for (const double psnr : {0.5, 250.0, std::nan("")}) {
        const auto refused = encode_psnr(view_of(noise(10)), psnr);
        ASSERT_FALSE(refused);
        EXPECT_NE(refused.error().message().find("PSNR must be"), std::string::npos);
    }
}

// The PSNR the decoded stream reaches, in float64 against the samples.
template <typename T>
double psnr_reached(const std::vector<T>& x, std::span<const uint8_t> stream) {
    const auto y = decoded_as<T>(stream);
    if (y.size() != x.size()) return -1.0;
    double squares = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        squares += std::pow(static_cast<double>(y[i]) - static_cast<double>(x[i]), 2);
    }
    const auto [low, high] = std::ranges::minmax(x);
    const double range = static_cast<double>(high) - static_cast<double>(low);
    return 20.0 * std::log10(range / std::sqrt(squares / static_cast<double>(x.size())));
}

// Low PSNRs (where indices may lean away from the nearest grid point) and short signals (whose
// PSNR moves unevenly with the step) reach every target from 30 to 90 dB, on float shapes and on
// integer audio-like samples: a tone in noise with a silent stretch.
TEST(V2Stream, PsnrTargetsAreReachedAtLowPsnrAndOnShortSignals) {
    std::mt19937 rng(27);
    std::normal_distribution<double> hiss(0.0, 40.0);
    for (const std::size_t n : {std::size_t{800}, std::size_t{3000}, std::size_t{20000}}) {
        std::vector<int16_t> audio(n);
        for (std::size_t i = n / 4; i < n; ++i) {
            audio[i] = static_cast<int16_t>(std::lround(8000.0 * std::sin(0.03 * i) + hiss(rng)));
        }
        for (double psnr = 30.0; psnr <= 90.0; psnr += 2.5) {
            const auto encoded = encode_psnr(view_of(audio), psnr);
            ASSERT_TRUE(encoded) << encoded.error().message() << " n=" << n;
            EXPECT_GE(psnr_reached(audio, encoded->stream), psnr) << "audio n=" << n;
            for (const Shape shape : kAllShapes) {
                const auto x = shape == Shape::Ramp ? noise(n) : shaped_signal(shape, n, 3.0);
                const auto floats = encode_psnr(view_of(x), psnr);
                ASSERT_TRUE(floats) << floats.error().message() << " " << shape_name(shape);
                EXPECT_GE(psnr_reached(x, floats->stream), psnr) << shape_name(shape) << " n=" << n;
            }
        }
    }
}

// Float samples on a lattice of their own (counts times a scale) reach a fine PSNR exactly on
// that lattice and a coarse one on a grid of the bound: the search's passes jump between the two,
// and it keeps the coarsest grid that reached the target.
TEST(V2Stream, PsnrTargetsAreReachedOnSamplesOnALattice) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> counts(-140, 140);
    std::vector<float> x(20000);
    for (float& v : x) v = static_cast<float>(counts(rng) * 0.0024420);
    std::size_t previous = 0;
    for (const double psnr : {100.0, 80.0, 70.0, 60.0, 50.0}) {
        const auto encoded = encode_psnr(view_of(x), psnr);
        ASSERT_TRUE(encoded) << encoded.error().message();
        EXPECT_GE(psnr_reached(x, encoded->stream), psnr) << psnr;
        if (previous != 0) EXPECT_LE(encoded->stream.size(), previous) << psnr;
        previous = encoded->stream.size();
    }
}

// Long signals aim the search by a probe of runs of the samples: a partly silent tone (the
// probe's PSNR off the uniform grid's guess), noise, and samples on a lattice of their own (the
// probe exact or far beyond the target) reach every target.
TEST(V2Stream, PsnrTargetsAreReachedOnLongSignals) {
    const std::size_t n = (std::size_t{1} << 18) + 333;
    std::mt19937 rng(3);
    std::normal_distribution<double> hiss(0.0, 1.0);
    std::uniform_int_distribution<int> counts(-140, 140);
    std::vector<float> tone(n), lattice(n);
    for (std::size_t i = 0; i < n; ++i) {
        tone[i] =
            i % 20000 < 6000 ? 0.0f : static_cast<float>(std::sin(0.01 * i) + 1e-3 * hiss(rng));
        lattice[i] = static_cast<float>(counts(rng) * 0.0024420);
    }
    const std::vector<std::pair<const char*, const std::vector<float>*>> signals{
        {"tone", &tone}, {"noise", nullptr}, {"lattice", &lattice}};
    const auto noisy = noise(n);
    for (const auto& [name, signal] : signals) {
        const auto& x = signal ? *signal : noisy;
        for (const double psnr : {40.0, 55.0, 70.0, 90.0}) {
            const auto encoded = encode_psnr(view_of(x), psnr);
            ASSERT_TRUE(encoded) << encoded.error().message() << " " << name;
            EXPECT_GE(psnr_reached(x, encoded->stream), psnr) << name << " " << psnr;
        }
    }
}

template <typename T>
void expect_integers_exact_and_bounded() {
    std::mt19937 rng(9);
    std::uniform_int_distribution<int64_t> any(std::numeric_limits<T>::lowest(),
                                               std::numeric_limits<T>::max());
    for (const std::size_t n :
         {std::size_t{1}, std::size_t{2}, std::size_t{77}, std::size_t{70000}}) {
        std::vector<T> x(n);
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = i % 5 == 0   ? std::numeric_limits<T>::max()
                   : i % 7 == 0 ? std::numeric_limits<T>::lowest()
                                : static_cast<T>(any(rng));
        }
        const auto exact = encode(view_of(x), {0.0, true});
        ASSERT_TRUE(exact) << exact.error().message();
        EXPECT_EQ(decoded_as<T>(exact->stream), x) << "n=" << n;
        for (const double bound : {1.0, 2.5, 40.0}) {
            const auto lossy = encode(view_of(x), {bound, false});
            ASSERT_TRUE(lossy) << lossy.error().message();
            EXPECT_LE(max_error(x, decoded_as<T>(lossy->stream)), std::floor(bound));
        }
    }
}

TEST(V2Stream, IntegerSourcesExactOrWithinWholeBounds) {
    expect_integers_exact_and_bounded<int8_t>();
    expect_integers_exact_and_bounded<uint8_t>();
    expect_integers_exact_and_bounded<int16_t>();
    expect_integers_exact_and_bounded<uint16_t>();
    expect_integers_exact_and_bounded<int32_t>();
    expect_integers_exact_and_bounded<uint32_t>();
}

TEST(V2Stream, ExactFloatsOnlyWhereTheSamplesAreWhole) {
    const std::vector<float> whole{-3.0f, 7.0f, 1e6f, 0.0f, 12.0f};
    const auto exact = encode(view_of(whole), {0.0, true});
    ASSERT_TRUE(exact);
    EXPECT_EQ(decoded_as<float>(exact->stream), whole);
    const std::vector<float> fractional{0.5f, 1.25f};
    const auto refused = encode(view_of(fractional), {0.0, true});
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message().find("exact"), std::string::npos);
}

TEST(V2Stream, BadTargetsAndSamplesAreRefused) {
    const std::vector<float> x{1.0f, 2.0f};
    for (const double bound : {-1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        const auto encoded = encode(view_of(x), {bound, true});
        ASSERT_FALSE(encoded);
        EXPECT_NE(encoded.error().message().find("max error must be"), std::string::npos);
    }
    const std::vector<double> overflowing{-1e308, 1e308};
    const auto refused = encode(view_of(overflowing), {0.1, true});
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message().find("float64 range"), std::string::npos);
    const auto beyond_the_range = encode(view_of(x), {1e300, true});
    ASSERT_TRUE(beyond_the_range);
    EXPECT_LE(max_error(x, decoded_as<float>(beyond_the_range->stream)), 1.0);
    for (const float bad : {std::nanf(""), std::numeric_limits<float>::infinity()}) {
        const std::vector<float> y{1.0f, bad};
        const auto encoded = encode(view_of(y), {0.1, true});
        ASSERT_FALSE(encoded);
        EXPECT_NE(encoded.error().message().find("finite"), std::string::npos);
    }
}

TEST(V2Stream, AnySingleDamagedDroppedOrAddedByteIsReported) {
    const auto x = shaped_signal(Shape::Sine, 300, 5.0);
    const auto encoded = encode(view_of(x), {1e-3, true});
    ASSERT_TRUE(encoded);
    const std::vector<uint8_t>& stream = encoded->stream;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        for (const uint8_t flip : {0x01, 0x80, 0xFF}) {
            auto damaged = stream;
            damaged[i] ^= flip;
            EXPECT_FALSE(decode(damaged)) << "flip " << int(flip) << " at " << i;
        }
        auto dropped = stream;
        dropped.erase(dropped.begin() + static_cast<std::ptrdiff_t>(i));
        EXPECT_FALSE(decode(dropped)) << "dropped at " << i;
        auto added = stream;
        added.insert(added.begin() + static_cast<std::ptrdiff_t>(i), 0x5A);
        EXPECT_FALSE(decode(added)) << "added at " << i;
    }
    // Bytes after a bare stream are damage too; a caller whose stream is followed by a record
    // (a .kst file) decodes the slice of the stated length.
    for (const std::size_t extra : {1, 4, 100}) {
        auto followed = stream;
        followed.resize(stream.size() + extra, 0x5A);
        const auto refused = decode(followed);
        ASSERT_FALSE(refused) << extra << " bytes added";
        EXPECT_NE(refused.error().message().find("added"), std::string::npos);
        const auto length = stated_stream_length(followed);
        ASSERT_TRUE(length);
        EXPECT_EQ(*length, stream.size());
        EXPECT_EQ(decoded_as<float>(std::span(followed).first(*length)), decoded_as<float>(stream));
    }
    EXPECT_FALSE(stated_stream_length(std::span(stream).first(stream.size() - 1)));
}

TEST(V2Stream, AForgedSampleCountIsRefusedBeforeAllocating) {
    const std::vector<float> x{1.0f, 2.0f, 3.0f};
    auto stream = encode(view_of(x), {1e-3, true})->stream;
    const uint64_t forged = uint64_t{1} << 50;
    std::memcpy(stream.data() + 16, &forged, sizeof forged);  // little-endian host
    stream.resize(stream.size() - kChecksumSize);
    append_checksum(stream);
    const auto decoded = decode(stream);
    ASSERT_FALSE(decoded);
    EXPECT_NE(decoded.error().message().find("cannot be coded"), std::string::npos);
}

TEST(V2Stream, VersionOneDecoderRefusesVersionTwo) {
    const std::vector<float> x(100, 1.5f);
    const auto stream = encode(view_of(x), {1e-3, true})->stream;
    const auto refused = kestova::decompress(stream);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind(), KestovaErrorKind::InvalidVersion);
}

}  // namespace
}  // namespace kestova::v2
