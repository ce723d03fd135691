// The linear method and the grids of version 2: residuals undo to the same indices at
// frame and block edges and at the extremes of the index range, malformed frame descriptions and
// predictions that leave the index range are refused, and samples on a lattice of their own are
// stored on it, and a grid through 0 gives samples at 0 back exactly. Integer arithmetic only (no
// processor-specific path), so one run covers all.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "codec/v2/decoder.h"
#include "codec/v2/encoder.h"
#include "codec/v2/format.h"
#include "codec/v2/linear_predictor.h"

namespace kestova::v2 {
namespace {

constexpr uint32_t kTop = 0xFFFFFFFFu;

// Indices by kind: two tones (the method pays), the extremes alternating, a constant.
std::vector<uint32_t> indices_of(const std::string& kind, std::size_t n) {
    std::vector<uint32_t> k(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i);
        if (kind == "tones")
            k[i] = static_cast<uint32_t>(2e9 + 1e9 * std::sin(0.03 * t) + 1e8 * std::sin(0.4 * t));
        if (kind == "extremes") k[i] = (i / 3) % 2 == 0 ? 0 : kTop;
        if (kind == "constant") k[i] = 77;
    }
    return k;
}

TEST(V2Linear, ResidualsUndoToTheIndicesAcrossFramesAndBlocks) {
    constexpr std::size_t kBlock = std::size_t{1} << 13;  // two frames per block
    for (const std::string kind : {"tones", "extremes", "constant"}) {
        for (const std::size_t n : {std::size_t{1}, kFrame - 1, kFrame + 1, 3 * kBlock + 5}) {
            const auto k = indices_of(kind, n);
            const LinearPlan plan = plan_linear(k, kBlock);
            LinearState encoding, decoding;
            for (std::size_t start = 0, f = 0; start < n; start += kBlock) {
                const auto part = std::span(k).subspan(start, std::min(kBlock, n - start));
                const auto frames = std::span(plan.frames).subspan(f, frames_in(part.size()));
                f += frames.size();
                std::vector<int64_t> values(part.size());
                linear_residuals(part, frames, encoding, values);
                for (const int64_t r : values) ASSERT_LT(std::abs(r), int64_t{1} << 32) << kind;
                if (plan.residuals_kept) {  // the plan's own copy is the same residuals
                    const auto kept = std::span(plan.residuals).subspan(start, part.size());
                    EXPECT_TRUE(std::equal(values.begin(), values.end(), kept.begin())) << kind;
                }
                std::vector<uint8_t> bytes;
                append_frames(frames, bytes);
                std::vector<Frame> read(frames.size());
                ASSERT_EQ(read_frames(bytes, read), bytes.size()) << kind;
                ASSERT_TRUE(undo_linear(values, read, decoding)) << kind << " n=" << n;
                EXPECT_TRUE(std::equal(values.begin(), values.end(), part.begin())) << kind;
            }
            // Jumps of 2^32 - 1 do not fit int32: the encoder computes them again.
            EXPECT_EQ(plan.residuals_kept, kind != "extremes" || n < 4) << kind;
            if (kind == "tones" && n > kFrame) {
                EXPECT_GT(plan.frames[0].taps, 0);
            }
        }
    }
}

TEST(V2Linear, MalformedFrameDescriptionsAreRefused) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        std::size_t frames;
        bool accepted;
    };
    const std::vector<Case> cases{
        {"two plain frames", {0, 0}, 2, true},
        {"one tap", {1, 15, 0x00, 0x80}, 1, true},
        {"a frame missing", {0}, 2, false},
        {"taps beyond 32", {33, 0}, 1, false},
        {"shift beyond 15", {1, 16, 1, 0}, 1, false},
        {"coefficients cut short", {2, 3, 1, 0, 1}, 1, false},
        {"no bytes", {}, 1, false},
    };
    for (const Case& c : cases) {
        std::vector<Frame> frames(c.frames);
        EXPECT_EQ(read_frames(c.bytes, frames).has_value(), c.accepted) << c.what;
    }
    // A prediction that takes an index out of 0 .. 2^32 - 1 is refused, not wrapped.
    Frame doubling;
    doubling.taps = 1;
    doubling.coefficients[0] = 2;
    LinearState state;
    std::vector<int64_t> values{int64_t{kTop}, 0, 0};
    EXPECT_FALSE(undo_linear(values, std::vector<Frame>{doubling}, state));
}

// A method-3 stream whose byte `at` of its first block is replaced by `forged` (checksum redone).
std::vector<uint8_t> forged_stream(const std::vector<uint8_t>& stream, std::size_t at,
                                   uint8_t forged) {
    const auto info = read_stream_info(stream);
    std::vector<uint8_t> out = stream;
    const std::size_t first_block =
        static_cast<std::size_t>(info->payload.data() - stream.data()) + 4 * info->block_count();
    out[first_block + at] = forged;
    out.resize(out.size() - kChecksumSize);
    append_checksum(out);
    return out;
}

TEST(V2Linear, TheDecoderRefusesForgedPredictorData) {
    std::vector<float> x(9000);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = static_cast<float>(std::sin(0.031 * i) + 0.4 * std::sin(0.23 * i));
    }
    const auto encoded = encode({ElementType::Float32, x.data(), x.size()}, {1e-5, true});
    ASSERT_TRUE(encoded);
    ASSERT_EQ(encoded->method, 3);
    for (const uint8_t forged : {uint8_t{33}, uint8_t{255}, uint8_t{31}}) {
        const auto decoded = decode(forged_stream(encoded->stream, 0, forged));
        ASSERT_FALSE(decoded) << int(forged);
        EXPECT_EQ(decoded.error().kind(), KestovaErrorKind::DecompressionFailed);
    }
    // Any value in the descriptions (shifts, coefficients) decodes to some samples or is refused.
    for (std::size_t at = 1; at < 40; ++at) {
        for (const uint8_t forged : {uint8_t{0}, uint8_t{0x7F}, uint8_t{0x80}, uint8_t{0xFF}}) {
            const auto decoded = decode(forged_stream(encoded->stream, at, forged));
            if (decoded) {
                EXPECT_EQ(decoded->samples.size(), x.size() * sizeof(float));
            }
        }
    }
}

TEST(V2Lattice, SamplesOnALatticeOfTheirOwnAreStoredOnIt) {
    // counts x scale + offset in float32; `off` moves one sample off the lattice by that many
    // counts (a fifth: the lattice of a fifth of the scale holds it; 0.45: no lattice of a whole
    // fraction does, and the bound's own grid is used, as at a coarse bound).
    struct Case {
        double off;
        double bound;
        double step;  // the grid step expected (0: the bound's own grid)
    };
    constexpr double kScale = 0.0024420025;
    for (const Case c : {Case{0.0, 1e-5, kScale}, Case{0.2, 1e-5, kScale / 5},
                         Case{0.45, 1e-5, 0.0}, Case{0.0, 1e-2, 0.0}}) {
        std::vector<float> x(3000);
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double counts = std::round(300.0 * std::sin(0.01 * i)) + (i == 900 ? c.off : 0.0);
            x[i] = static_cast<float>(kScale * counts - 0.67);
        }
        const auto encoded = encode({ElementType::Float32, x.data(), x.size()}, {c.bound, true});
        ASSERT_TRUE(encoded) << c.off;
        const auto decoded = decode(encoded->stream);
        ASSERT_TRUE(decoded);
        std::vector<float> y(x.size());
        std::memcpy(y.data(), decoded->samples.data(), decoded->samples.size());
        double worst = 0.0;
        for (std::size_t i = 0; i < x.size(); ++i)
            worst = std::max(worst, std::abs(double{y[i]} - x[i]));
        const double bound = c.bound * 600.0 * kScale;
        EXPECT_LE(worst, bound) << c.off;
        if (c.step > 0.0) {
            EXPECT_NEAR(encoded->grid.step, c.step, 1e-6 * c.step) << c.off;
        } else {
            EXPECT_LE(encoded->grid.step, 2.0 * bound) << c.off << " " << c.bound;
        }
    }
}

TEST(V2Grid, SamplesAtZeroDecodeToZeroWhereTheRangeSpansIt) {
    for (const double bound : {3e-2, 1e-3, 1e-5}) {
        for (const double low : {-1.37, -0.001}) {
            std::vector<float> x(2000, 0.0f);
            for (std::size_t i = 0; i < x.size(); i += 3) {
                x[i] = static_cast<float>(low + 2.9 * std::abs(std::sin(0.01 * i)));
            }
            const auto encoded = encode({ElementType::Float32, x.data(), x.size()}, {bound, true});
            ASSERT_TRUE(encoded);
            const auto decoded = decode(encoded->stream);
            ASSERT_TRUE(decoded);
            std::vector<float> y(x.size());
            std::memcpy(y.data(), decoded->samples.data(), decoded->samples.size());
            for (std::size_t i = 1; i < x.size(); i += 3)
                ASSERT_EQ(y[i], 0.0f) << bound << " " << i;
        }
    }
}

}  // namespace
}  // namespace kestova::v2
