// Streams held to bits per sample: never longer than the target, most of it used unless the grid
// is already the finest, refusals only where even the coarsest grid misses. The v2 pipeline has
// no processor-specific path, so one run covers every processor.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/v2/rate_target.h"
#include "tests/cpp/support/codec_test_support.h"

namespace kestova::v2 {
namespace {

using testing_support::kAllShapes;
using testing_support::shape_name;
using testing_support::shaped_signal;

double bits_of(const Encoded& encoded, std::size_t count) {
    return 8.0 * static_cast<double>(encoded.stream.size()) / static_cast<double>(count);
}

TEST(V2RateTarget, StreamsStayWithinTheTargetOnEveryShapeAndType) {
    for (const auto shape : kAllShapes) {
        const auto x = shaped_signal(shape, 20000, 300.0);
        std::vector<int16_t> whole(x.begin(), x.end());
        for (const double target : {0.3, 1.0, 2.5, 6.0, 14.0, 40.0}) {
            SCOPED_TRACE(std::string(shape_name(shape)) + " at " + std::to_string(target));
            for (const SampleView samples :
                 {SampleView{ElementType::Float32, x.data(), x.size()},
                  SampleView{ElementType::Int16, whole.data(), whole.size()}}) {
                const auto encoded = encode_bits_per_sample(samples, target);
                if (!encoded) {  // only where even the coarsest grid misses
                    EXPECT_NE(encoded.error().message().find("coarsest grid takes"),
                              std::string::npos)
                        << encoded.error().message();
                    continue;
                }
                EXPECT_LE(bits_of(*encoded, samples.count), target);
            }
        }
    }
}

TEST(V2RateTarget, LongSignalsSearchedOnAProbeStillFitAndUseMostOfTheTarget) {
    std::vector<float> tones(600000);  // what the linear method predicts far below a difference
    for (std::size_t i = 0; i < tones.size(); ++i) {
        tones[i] = static_cast<float>(
            std::round(3000.0 * std::sin(0.013 * double(i)) + 900.0 * std::sin(0.41 * double(i))));
    }
    for (const auto& x : {shaped_signal(kAllShapes[3], 600000, 3000.0), tones}) {  // random walk
        const std::vector<int32_t> whole(x.begin(), x.end());
        for (const double target : {1.5, 5.0, 12.0}) {
            for (const SampleView samples :
                 {SampleView{ElementType::Float32, x.data(), x.size()},
                  SampleView{ElementType::Int32, whole.data(), whole.size()}}) {
                const auto encoded = encode_bits_per_sample(samples, target);
                ASSERT_TRUE(encoded.has_value()) << encoded.error().message();
                const double bits = bits_of(*encoded, samples.count);
                EXPECT_LE(bits, target);
                // Exact samples end the search wherever they fit.
                if (encoded->max_error > 0.0) {
                    EXPECT_GE(bits, 0.9 * target);
                }
            }
        }
    }
}

TEST(V2RateTarget, RefusesTargetsOutOfRangeAndNamesWhatTheCoarsestReached) {
    const auto x = shaped_signal(kAllShapes[0], 50);
    const SampleView samples{ElementType::Float32, x.data(), x.size()};
    for (const double target : {0.0, -1.0, 0.001, 65.0, std::nan("")}) {
        const auto refused = encode_bits_per_sample(samples, target);
        ASSERT_FALSE(refused.has_value());
        EXPECT_NE(refused.error().message().find("from 0.01 to 64"), std::string::npos);
    }
    const auto unreachable = encode_bits_per_sample(samples, 1.0);  // the framing alone is more
    ASSERT_FALSE(unreachable.has_value());
    EXPECT_NE(unreachable.error().message().find("cannot be met: the coarsest grid takes"),
              std::string::npos);
    EXPECT_TRUE(encode_bits_per_sample({ElementType::Float32, x.data(), 0}, 1.0).has_value());
}

}  // namespace
}  // namespace kestova::v2
