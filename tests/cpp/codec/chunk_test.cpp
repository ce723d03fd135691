// The chunk layer: every element type held to absolute and relative bounds by both encoders and
// read back on every processor path, the reference search's margin against a bound equal to a
// setting's own error, the open method's fallback, the container-against-chunk checks, and the
// unmet bound's reasons.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "codec/chunk/chunk_bound.h"
#include "codec/chunk/chunk_codec.h"
#include "codec/chunk/element_conversion.h"
#include "codec/chunk/reference_search.h"
#include "codec/compressor.h"
#include "codec/decompressor.h"
#include "codec/method_table.h"
#include "codec/tuned/bound_loop.h"
#include "codec/tuned/tuned_compressor.h"
#include "tests/bound_cases.h"
#include "tests/cpp/support/codec_paths.h"
#include "tests/cpp/support/codec_test_support.h"

namespace kestova {
namespace {

using testing_support::test_signal;

// `n` elements of `type` spanning most of its range (float64 as a small wiggle on a large
// offset, which float32 narrowing moves by a visible share of the range), as native bytes.
std::vector<uint8_t> elements_of(ElementType type, std::size_t n) {
    const auto x = test_signal(n, 3);  // about -3..5
    std::vector<uint8_t> bytes(n * element_size(type));
    with_element_type(type, [&]<typename T>(T) {
        for (std::size_t i = 0; i < n; ++i) {
            T value;
            if constexpr (std::is_same_v<T, double>) {
                value = 1e3 + 1e-2 * (static_cast<double>(x[i]) - 1.0) / 4.0;
            } else if constexpr (std::is_floating_point_v<T>) {
                value = x[i];
            } else {
                constexpr double low = std::numeric_limits<T>::min();
                constexpr double high = std::numeric_limits<T>::max();
                const double unit = (static_cast<double>(x[i]) + 3.0) / 8.0;
                value =
                    static_cast<T>(std::clamp(std::round(low + unit * (high - low)), low, high));
            }
            std::memcpy(bytes.data() + i * sizeof(T), &value, sizeof(T));
        }
    });
    return bytes;
}

// The largest |decoded - element| over the chunk, `container` read on `isa` and converted back.
double chunk_error(std::span<const uint8_t> container, std::span<const uint8_t> elements,
                   ElementType type, Undra::Isa isa) {
    const auto samples = testing_support::decompress_on(container, isa);
    EXPECT_TRUE(samples.has_value());
    if (!samples) return std::numeric_limits<double>::infinity();
    std::vector<uint8_t> decoded(elements.size());
    from_float32(*samples, type, decoded);
    double worst = 0.0;
    with_element_type(type, [&]<typename T>(T) {
        for (std::size_t i = 0; i < samples->size(); ++i) {
            worst = std::max(worst, std::fabs(static_cast<double>(element_at<T>(decoded, i)) -
                                              static_cast<double>(element_at<T>(elements, i))));
        }
    });
    return worst;
}

double span_of(std::span<const uint8_t> elements, ElementType type) {
    std::vector<float> samples(elements.size() / element_size(type));
    to_float32(elements, type, samples);
    const ElementSpan span = element_span(elements, type, samples);
    return span.max - span.min;
}

TEST(ChunkBound, HoldsForEveryElementTypeEncoderAndReadingPath) {
    for (const ElementTypeRow& info : kChunkElementTypes) {
        const auto elements = elements_of(info.type, 3000);
        for (const Encoder encoder : {Encoder::Tuned, Encoder::Reference}) {
            for (const KestovaBoundCase bound : kKestovaBoundCases) {
                SCOPED_TRACE(::testing::Message()
                             << info.name << " encoder " << encoder_name(encoder) << " bound "
                             << bound.max_error);
                const ChunkSettings settings{.options = {},
                                             .choose_method = false,
                                             .encoder = encoder,
                                             .bound = static_cast<BoundKind>(bound.kind),
                                             .max_error = bound.max_error};
                const auto container = encode_chunk(elements, info.type, settings, false);
                const double allowed = bound.kind == static_cast<int>(BoundKind::Relative)
                                           ? bound.max_error * span_of(elements, info.type)
                                           : bound.max_error;
                if (!container) {  // only a bound below what narrowing or the finest scale left
                    EXPECT_NE(container.error().find("cannot be met"), std::string::npos)
                        << container.error();
                    continue;
                }
                for (const Undra::Isa isa : Undra::supported_isas()) {
                    EXPECT_LE(chunk_error(*container, elements, info.type, isa), allowed)
                        << "read on path " << static_cast<int>(isa);
                }
            }
        }
    }
}

// A bound exactly at a reference setting's own error on this path: the search keeps the margin,
// so the container it picks meets the bound on every path, not only on this one.
TEST(ReferenceSearch, ABoundAtASettingsOwnErrorHoldsOnEveryPath) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        const auto x = test_signal(2000 + 37 * seed, seed);
        for (const uint8_t scale : {7, 9, 11}) {
            const auto at_setting = compress(x, {.scale = scale});
            ASSERT_TRUE(at_setting.has_value());
            const double own = max_abs_error(*decompress(*at_setting), x);
            std::vector<uint8_t> bytes(x.size() * sizeof(float));
            std::memcpy(bytes.data(), x.data(), bytes.size());
            const ChunkSettings settings{.options = {},
                                         .choose_method = false,
                                         .encoder = Encoder::Reference,
                                         .bound = BoundKind::Absolute,
                                         .max_error = own};
            const auto container = encode_chunk(bytes, ElementType::Float32, settings, false);
            ASSERT_TRUE(container.has_value()) << container.error();
            for (const Undra::Isa isa : Undra::supported_isas()) {
                EXPECT_LE(max_abs_error(*testing_support::decompress_on(*container, isa), x), own)
                    << "seed " << seed << " scale " << int{scale} << " path "
                    << static_cast<int>(isa);
            }
        }
    }
}

// Whatever bound some named method meets, the open choice meets too: near the finest scale's
// reach the method estimated smallest may miss a bound that another meets.
TEST(OpenMethod, FallsBackToAMethodThatMeetsTheBound) {
    using testing_support::kAllShapes;
    using testing_support::shaped_signal;
    for (const auto shape : kAllShapes) {
        for (const std::size_t n : {1000, 4000}) {
            auto x = shaped_signal(shape, n);
            const auto noise = test_signal(n, 5);
            for (std::size_t i = 0; i < n; ++i) x[i] += 1e-3f * noise[i];
            for (const double bound : {4e-4, 3e-4, 2e-4, 1.5e-4, 1e-4, 7e-5}) {
                bool named = false;
                for (const MethodEntry& entry : kMethods) {
                    const auto one =
                        encode_within(x, {bound, true}, entry.method, EntropyCoder::Auto);
                    named = named || !one->container.empty();
                }
                const auto open = encode_within(x, {bound, true}, std::nullopt, EntropyCoder::Auto);
                ASSERT_TRUE(open.has_value());
                EXPECT_EQ(open->container.empty(), !named)
                    << testing_support::shape_name(shape) << " n " << n << " bound " << bound;
            }
        }
    }
}

TEST(ChunkExtent, RefusesFromTheHeaderWhatDoesNotFit) {
    struct Row {
        uint64_t announced;
        ChunkExtent extent;
        ElementType type;
        const char* refusal;  // nullptr: accepted
    };
    const Row rows[] = {
        {1000, {1000, ChunkFill::Exact}, ElementType::Int16, nullptr},
        {1001, {1000, ChunkFill::Exact}, ElementType::Float32, "announces 1001 samples"},
        {999, {1000, ChunkFill::Exact}, ElementType::Float32, "holds 999 samples"},
        {999, {1000, ChunkFill::TrailingNaN}, ElementType::Float64, nullptr},
        {999, {1000, ChunkFill::TrailingNaN}, ElementType::Uint8, "holds 999 samples"},
        {0, {1000, ChunkFill::TrailingNaN}, ElementType::Float32, "holds 0 samples"},
        {1u << 30, {1000, ChunkFill::TrailingNaN}, ElementType::Float32, "announces"},
        {10, {1u << 22, ChunkFill::AtMost}, ElementType::Int8, nullptr},
        {(1u << 22) + 1, {1u << 22, ChunkFill::AtMost}, ElementType::Float32, "announces"},
    };
    for (const Row& row : rows) {
        const auto checked = check_announced(row.announced, row.extent, row.type);
        if (row.refusal == nullptr) {
            EXPECT_TRUE(checked.has_value()) << checked.error();
        } else {
            ASSERT_FALSE(checked.has_value()) << row.announced;
            EXPECT_NE(checked.error().find(row.refusal), std::string::npos) << checked.error();
        }
    }
}

// The refusal says what was reached and which of the three made it not enough.
TEST(UnmetBound, NamesWhatWasReachedAndWhy) {
    struct Row {
        SampleBound bound;
        double reached;
        const char* reason;
    };
    const Row rows[] = {
        {sample_bound(ElementType::Float32, 8e-4, 0.0), 9e-4, "the finest setting's own error"},
        {sample_bound(ElementType::Float32, 8e-4, 0.0), 7.6e-4, "not by the margin"},
        {sample_bound(ElementType::Float64, 8e-4, 1e-4), 7.5e-4, "float32 narrowing has taken"},
        {sample_bound(ElementType::Int16, 20.85, 0.0), 20.6, "rounds beyond the bound 20.85"},
        {sample_bound(ElementType::Float64, 1e-4, 2e-4), 2e-4, "float32 narrowing alone"},
    };
    for (const Row& row : rows) {
        const std::string text = unmet_message({.max_error = 1e-3,
                                                .relative = true,
                                                .span = 1.0,
                                                .bound = row.bound,
                                                .margin = 5e-5,
                                                .setting = "scale 12",
                                                .reached = row.reached});
        EXPECT_NE(text.find(row.reason), std::string::npos) << text;
    }
    EXPECT_EQ(shortest_text(5e-4), "0.0005");
    EXPECT_EQ(shortest_text(1e-5), "1e-05");
    EXPECT_EQ(shortest_text(2.0), "2.0");
}

}  // namespace
}  // namespace kestova
