// The HDF5 filter's chunk codec and recorded values, without HDF5: element conversions, the NaN
// rules, the container-against-chunk check, and the values layout with its defaults.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "codec/compressor.h"
#include "codec/decompressor.h"
#include "hdf5_filter/chunk_codec.h"
#include "hdf5_filter/filter_values.h"
#include "tests/cpp/support/codec_test_support.h"

namespace kestova::hdf5 {
namespace {

using testing_support::test_signal;

template <typename T>
std::vector<uint8_t> bytes_of(const std::vector<T>& values) {
    std::vector<uint8_t> out(values.size() * sizeof(T));
    std::memcpy(out.data(), values.data(), out.size());
    return out;
}

template <typename T>
std::vector<T> values_of(const std::vector<uint8_t>& bytes) {
    std::vector<T> out(bytes.size() / sizeof(T));
    std::memcpy(out.data(), bytes.data(), bytes.size());
    return out;
}

// Encodes and decodes a chunk of `type`; the decoded bytes.
std::vector<uint8_t> round_trip(const std::vector<uint8_t>& chunk, ElementType type,
                                uint64_t elements, FilterSettings settings = {}) {
    const auto container = encode_chunk(chunk, type, settings);
    EXPECT_TRUE(container.has_value()) << container.error();
    if (!container) return {};
    const auto size = decoded_size(*container, type, elements);
    EXPECT_TRUE(size.has_value()) << size.error();
    if (!size) return {};
    std::vector<uint8_t> out(*size);
    const auto decoded = decode_chunk(*container, type, out);
    EXPECT_TRUE(decoded.has_value()) << decoded.error();
    return out;
}

TEST(Hdf5Chunk, Float32ChunkIsExactlyTheReferenceContainer) {
    const auto signal = test_signal(5000);
    const auto container = encode_chunk(bytes_of(signal), ElementType::Float32, {});
    ASSERT_TRUE(container.has_value());
    EXPECT_EQ(*container, *compress(signal, CompressionOptions{}));
}

// Integers near both ends of their range come back rounded and clipped, as NumPy's rint + clip.
template <typename T>
void check_integer_type(ElementType type) {
    const auto signal = test_signal(4000, 5);
    std::vector<T> values(signal.size());
    constexpr double low = std::numeric_limits<T>::min(), high = std::numeric_limits<T>::max();
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double unit = (signal[i] + 3.0) / 8.0;  // about 0..1
        values[i] = static_cast<T>(std::clamp(std::round(low + unit * (high - low)), low, high));
    }
    values[0] = std::numeric_limits<T>::min();
    values[1] = std::numeric_limits<T>::max();
    const auto decoded = values_of<T>(round_trip(bytes_of(values), type, values.size()));
    ASSERT_EQ(decoded.size(), values.size());
    const auto floats = decompress(*encode_chunk(bytes_of(values), type, {}));
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double expected = std::clamp(std::nearbyint(double{(*floats)[i]}), low, high);
        ASSERT_EQ(decoded[i], static_cast<T>(expected)) << element_name(type) << " at " << i;
        ASSERT_LE(std::abs(static_cast<double>(decoded[i]) - static_cast<double>(values[i])),
                  3e-3 * (high - low) + 1);
    }
}

TEST(Hdf5Chunk, IntegerTypesRoundAndClip) {
    check_integer_type<int8_t>(ElementType::Int8);
    check_integer_type<int16_t>(ElementType::Int16);
    check_integer_type<int32_t>(ElementType::Int32);
    check_integer_type<uint8_t>(ElementType::Uint8);
    check_integer_type<uint16_t>(ElementType::Uint16);
}

TEST(Hdf5Chunk, Float64GoesThroughFloat32) {
    std::vector<double> values(3000);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = std::sin(0.01 * i) + 1e-9 * i;
    const auto decoded =
        values_of<double>(round_trip(bytes_of(values), ElementType::Float64, values.size()));
    ASSERT_EQ(decoded.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        ASSERT_EQ(decoded[i], static_cast<double>(static_cast<float>(decoded[i])));
        ASSERT_NEAR(decoded[i], values[i], 5e-3);
    }
}

TEST(Hdf5Chunk, NonFiniteValuesAreRefusedExceptATrailingNanRun) {
    auto signal = test_signal(3000);
    for (const float bad :
         {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
          -std::numeric_limits<float>::infinity()}) {
        auto values = signal;
        values[7] = bad;
        values.back() = bad;
        const auto refused = encode_chunk(bytes_of(values), ElementType::Float32, {});
        ASSERT_FALSE(refused.has_value());
        EXPECT_NE(refused.error().find("first at index 7"), std::string::npos) << refused.error();
    }
    // Float64 beyond float32's range becomes infinite, so it is refused too.
    std::vector<double> huge(100, 1.0);
    huge[3] = 1e300;
    EXPECT_FALSE(encode_chunk(bytes_of(huge), ElementType::Float64, {}).has_value());

    const std::size_t kept = 2500;
    std::fill(signal.begin() + kept, signal.end(), std::numeric_limits<float>::quiet_NaN());
    const auto container = encode_chunk(bytes_of(signal), ElementType::Float32, {});
    ASSERT_TRUE(container.has_value());
    const auto decoded =
        values_of<float>(round_trip(bytes_of(signal), ElementType::Float32, signal.size()));
    ASSERT_EQ(decoded.size(), signal.size());
    for (std::size_t i = 0; i < signal.size(); ++i) ASSERT_EQ(std::isnan(decoded[i]), i >= kept);

    std::vector<float> all_nan(64, std::numeric_limits<float>::quiet_NaN());
    EXPECT_FALSE(encode_chunk(bytes_of(all_nan), ElementType::Float32, {}).has_value());
}

TEST(Hdf5Chunk, ContainerMustFitItsChunkBeforeDecoding) {
    const auto container = *compress(test_signal(1000), CompressionOptions{});
    EXPECT_TRUE(decoded_size(container, ElementType::Float32, 1000).has_value());
    EXPECT_EQ(*decoded_size(container, ElementType::Int16, 1000), 2000u);
    EXPECT_FALSE(decoded_size(container, ElementType::Float32, 999).has_value());
    // Fewer samples than elements: a trailing NaN run for floats, a fault for integers.
    EXPECT_EQ(*decoded_size(container, ElementType::Float64, 1200), 9600u);
    EXPECT_FALSE(decoded_size(container, ElementType::Int16, 1200).has_value());
    EXPECT_FALSE(decoded_size(container, ElementType::Unsupported, 1000).has_value());
    const std::vector<uint8_t> short_header(container.begin(), container.begin() + 20);
    EXPECT_FALSE(decoded_size(short_header, ElementType::Float32, 1000).has_value());
    EXPECT_FALSE(decoded_size(container, ElementType::Float32, 0).has_value());
    // A chunk size beyond what a container holds is refused rather than allocated.
    EXPECT_FALSE(decoded_size(container, ElementType::Float32, uint64_t{1} << 40).has_value());
}

TEST(Hdf5Chunk, ChunkOfNoWholeElementsIsRefused) {
    const std::vector<uint8_t> odd(7, 0);
    EXPECT_FALSE(encode_chunk(odd, ElementType::Int16, {}).has_value());
    EXPECT_FALSE(encode_chunk(odd, ElementType::Unsupported, {}).has_value());
}

// Version-2 chunks: every element type within its target (integers exact without one), the
// trailing NaN run left out and restored, and a stream checked against its chunk unread.
TEST(Hdf5Chunk, Version2ChunksKeepTheirTypeAndTarget) {
    FilterSettings v2;
    v2.format = 2;
    const auto signal = test_signal(3000);
    std::vector<int16_t> counts(signal.size());
    for (std::size_t i = 0; i < counts.size(); ++i)
        counts[i] = static_cast<int16_t>(signal[i] * 900);
    EXPECT_EQ(
        values_of<int16_t>(round_trip(bytes_of(counts), ElementType::Int16, counts.size(), v2)),
        counts);
    EXPECT_FALSE(
        encode_chunk(bytes_of(signal), ElementType::Float32, v2).has_value());  // no target

    v2.bound = BoundKind::Absolute;
    v2.max_error = 1e-3;
    std::vector<double> padded(signal.begin(), signal.end());
    std::fill(padded.begin() + 2500, padded.end(), std::numeric_limits<double>::quiet_NaN());
    const auto decoded =
        values_of<double>(round_trip(bytes_of(padded), ElementType::Float64, padded.size(), v2));
    ASSERT_EQ(decoded.size(), padded.size());
    for (std::size_t i = 0; i < padded.size(); ++i) {
        if (i >= 2500) {
            ASSERT_TRUE(std::isnan(decoded[i]));
        } else {
            ASSERT_LE(std::abs(decoded[i] - padded[i]), 1e-3);
        }
    }

    const auto stream = *encode_chunk(bytes_of(signal), ElementType::Float32, v2);
    EXPECT_EQ(stream[4], 2);
    EXPECT_EQ(*decoded_size(stream, ElementType::Float32, 3000), 12000u);
    EXPECT_FALSE(decoded_size(stream, ElementType::Float32, 2999).has_value());
    EXPECT_FALSE(decoded_size(stream, ElementType::Float64, 3000).has_value());  // its own type
    auto damaged = stream;
    damaged[damaged.size() / 2] ^= 0x10;
    EXPECT_FALSE(decoded_size(damaged, ElementType::Float32, 3000).has_value());
}

TEST(Hdf5FilterValues, Version2SettingsRoundTripAsLayout2) {
    FilterValues values;
    values.settings.format = 2;
    values.settings.psnr = 72.5;
    values.element_type = ElementType::Int32;
    values.chunk_elements = 4096;
    const auto all = all_values(values);
    EXPECT_EQ(all[kVersionSlot], kV2LayoutVersion);
    EXPECT_EQ(all[kBoundSlot], kPsnrBound);
    const auto parsed = parse_values(all);
    ASSERT_TRUE(parsed.has_value()) << parsed.error();
    EXPECT_EQ(parsed->settings.format, 2);
    EXPECT_EQ(parsed->settings.psnr, 72.5);
    EXPECT_EQ(all_values(*parsed), all);
    auto other_method = all;
    other_method[kMethodSlot] = static_cast<unsigned>(CompressionMethod::Db4);
    EXPECT_FALSE(parse_values(other_method).has_value());
    EXPECT_EQ(parse_settings(std::vector<unsigned>{1})->format, 1);  // files written before
    values.settings.psnr = 0;
    values.settings.bits_per_sample = 3.25;
    const auto rate = all_values(values);
    EXPECT_EQ(rate[kBoundSlot], kBitsPerSampleBound);
    const auto rate_parsed = parse_values(rate);
    ASSERT_TRUE(rate_parsed.has_value()) << rate_parsed.error();
    EXPECT_EQ(rate_parsed->settings.bits_per_sample, 3.25);
    EXPECT_EQ(rate_parsed->settings.psnr, 0);
    auto version_1 = rate;
    version_1[kVersionSlot] = kLayoutVersion;  // a version-1 layout has no such bound kind
    EXPECT_FALSE(parse_values(version_1).has_value());
}

TEST(Hdf5FilterValues, NoValuesMeanTheDefaultsAndPrefixesComplete) {
    const auto defaults = parse_settings({});
    ASSERT_TRUE(defaults.has_value());
    EXPECT_EQ(defaults->options.scale, CompressionOptions{}.scale);
    EXPECT_EQ(defaults->encoder, Encoder::Reference);
    const std::vector<unsigned> prefix{1, static_cast<unsigned>(CompressionMethod::Db4), 9};
    const auto given = parse_settings(prefix);
    ASSERT_TRUE(given.has_value());
    EXPECT_EQ(given->options.method, CompressionMethod::Db4);
    EXPECT_EQ(given->options.scale, 9);
    EXPECT_EQ(given->options.cutoff, CutoffLevel::Low);
}

TEST(Hdf5FilterValues, RoundTripAndRefusals) {
    FilterValues values;
    values.settings.options = {CutoffLevel::High, EntropyCoder::Deflate, CompressionMethod::Sym4,
                               7};
    values.settings.encoder = Encoder::Tuned;
    values.settings.bound = BoundKind::Absolute;
    values.settings.max_error = 0.125e-3;
    values.element_type = ElementType::Uint16;
    values.chunk_elements = (uint64_t{1} << 32) + 5;
    const auto all = all_values(values);
    const auto parsed = parse_values(all);
    ASSERT_TRUE(parsed.has_value()) << parsed.error();
    EXPECT_EQ(all_values(*parsed), all);
    EXPECT_EQ(parsed->settings.max_error, 0.125e-3);

    const auto refused = [&](std::size_t slot, unsigned value) {
        auto changed = all;
        changed[slot] = value;
        return !parse_values(changed).has_value();
    };
    EXPECT_TRUE(refused(kVersionSlot, 2));
    EXPECT_TRUE(refused(kMethodSlot, 4));
    EXPECT_TRUE(refused(kScaleSlot, 5));
    EXPECT_TRUE(refused(kScaleSlot, 256 + 11));
    EXPECT_TRUE(refused(kCutoffSlot, 3));
    EXPECT_TRUE(refused(kCoderSlot, 3));
    EXPECT_TRUE(refused(kEncoderSlot, 2));
    EXPECT_TRUE(refused(kEncoderSlot, 0));  // a bound needs the tuned encoder
    EXPECT_TRUE(refused(kBoundSlot, 3));
    EXPECT_TRUE(refused(kBoundHighSlot, 0x7FF00000));  // an infinite bound
    EXPECT_TRUE(refused(kElementTypeSlot, 8));
    EXPECT_FALSE(parse_values(std::span(all).first(kValueCount - 1)).has_value());

    // A method chosen for each chunk: recorded as such under a bound, refused without one.
    auto chosen = values;
    chosen.settings.choose_method = true;
    const auto chosen_values = all_values(chosen);
    EXPECT_EQ(chosen_values[kMethodSlot], kMethodChosen);
    ASSERT_TRUE(parse_values(chosen_values).has_value());
    EXPECT_TRUE(parse_values(chosen_values)->settings.choose_method);
    EXPECT_FALSE(parse_settings(std::vector<unsigned>{1, kMethodChosen}).has_value());
}

TEST(Hdf5FilterValues, ElementTypesFromHdf5Descriptions) {
    EXPECT_EQ(element_type_of(true, true, 4), ElementType::Float32);
    EXPECT_EQ(element_type_of(true, true, 8), ElementType::Float64);
    EXPECT_EQ(element_type_of(false, false, 2), ElementType::Uint16);
    EXPECT_EQ(element_type_of(false, true, 1), ElementType::Int8);
    EXPECT_EQ(element_type_of(false, true, 8), ElementType::Unsupported);
    EXPECT_EQ(element_type_of(false, false, 4), ElementType::Unsupported);
    EXPECT_EQ(element_type_of(true, true, 2), ElementType::Unsupported);
}

}  // namespace
}  // namespace kestova::hdf5
