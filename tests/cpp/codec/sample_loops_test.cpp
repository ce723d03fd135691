// The per-sample loops in each form this build holds: their contracts, and the plain form
// against the SSE2 form bit for bit (the plain form is what non-x86 builds run).
#include "codec/sample_loops.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace kestova::sample_loops {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kMax = std::numeric_limits<float>::max();
constexpr float kTiny = std::numeric_limits<float>::denorm_min();

std::vector<uint32_t> bits(const std::vector<float>& v) {
    std::vector<uint32_t> out;
    for (float x : v) out.push_back(std::bit_cast<uint32_t>(x));
    return out;
}

// Signals of every length up to 19 (vector bodies and tails) and one long one, drawn from
// values that stress the loops: NaN, infinities, signed zeros, subnormals, the largest floats,
// and values on both sides of the int16 clamp at multiplier 4.
std::vector<std::vector<float>> awkward_signals() {
    const std::vector<float> pool = {kNaN,      kInf,   -kInf,    0.0f,  -0.0f,   kTiny,   -kTiny,
                                     kMax,      -kMax,  1.0f,     -2.5f, 8191.9f, 8192.0f, -8192.1f,
                                     -8192.25f, 1e-30f, 123.456f, -7.0f, 0.75f,   1e9f};
    std::mt19937 rng(5);
    std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
    std::vector<std::vector<float>> out;
    for (std::size_t n : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 11u, 15u, 16u, 19u, 1000u}) {
        for (int variant = 0; variant < 12; ++variant) {
            std::vector<float> x(n);
            for (float& v : x) v = pool[pick(rng)];
            out.push_back(x);
        }
    }
    // Zeros of both signs as the extremes, in either order.
    out.push_back({1.0f, -0.0f, 0.0f, 2.0f, 3.0f, 0.0f, -0.0f, 4.0f, 5.0f});
    out.push_back({-1.0f, 0.0f, -0.0f, -2.0f, -3.0f, -0.0f, 0.0f, -4.0f, -5.0f});
    return out;
}

class SampleLoops : public ::testing::TestWithParam<Form> {};

TEST_P(SampleLoops, SanitizeReplacesNonFiniteAndKeepsTheEarliestZero) {
    const std::vector<float> in = {3.0f, kNaN, -kInf, 0.0f, -0.0f, kInf, 2.0f, 5.0f, 0.5f};
    std::vector<float> out(in.size());
    const SampleRange range = sanitize(GetParam(), in, out);
    EXPECT_EQ(bits(out), bits({3.0f, 0.0f, 0.0f, 0.0f, -0.0f, 1.0f, 2.0f, 5.0f, 0.5f}));
    EXPECT_EQ(std::bit_cast<uint32_t>(range.min), std::bit_cast<uint32_t>(0.0f));
    EXPECT_EQ(range.max, 5.0f);
    const std::vector<float> negative_first = {-0.0f, 1.0f, 0.0f, 1.0f, 2.0f};
    out.resize(negative_first.size());
    EXPECT_EQ(std::bit_cast<uint32_t>(sanitize(GetParam(), negative_first, out).min),
              std::bit_cast<uint32_t>(-0.0f));
}

TEST_P(SampleLoops, DenormalizeHoldsOverflowWithinTheFiniteFloats) {
    // A range as wide as the largest float: t = v + 0.5 beyond 1 overflows at full scale.
    std::vector<float> v = {0.75f, -0.5f, 0.5f, 1.5f, 0.0f};
    denormalize(GetParam(), v, 0.5f, SampleRange{-kMax / 2, kMax / 2});
    for (float x : v) EXPECT_TRUE(x - x == 0.0f) << x;
    EXPECT_EQ(v[0], (1.25f * (kMax / 2) + (-kMax / 4)) * 2.0f);  // computed at half scale
    EXPECT_EQ(v[1], -kMax / 2);
    EXPECT_EQ(v[2], kMax / 2);
    EXPECT_EQ(v[3], kMax);  // held at the largest float
}

TEST_P(SampleLoops, QuantizeReportsTheClampInBodyAndTail) {
    for (std::size_t position : {0u, 3u, 5u, 8u, 10u}) {
        std::vector<float> in(11, 0.25f);
        in[position] = 8192.0f;  // 32768 after multiplying by 4
        std::vector<int16_t> out(in.size());
        EXPECT_TRUE(quantize(GetParam(), in, 4.0f, 0, out)) << position;
        EXPECT_EQ(out[position], 32767);
        EXPECT_TRUE(quantize_would_clamp(GetParam(), in, 4.0f)) << position;
        in[position] = kNaN;
        EXPECT_FALSE(quantize(GetParam(), in, 4.0f, 0, out)) << position;
        EXPECT_EQ(out[position], 0);
        EXPECT_FALSE(quantize_would_clamp(GetParam(), in, 4.0f)) << position;
    }
}

TEST_P(SampleLoops, SameBitsAsTheDefaultForm) {
    for (const std::vector<float>& x : awkward_signals()) {
        const std::string what = "length " + std::to_string(x.size());
        std::vector<float> mine(x.size()), reference(x.size());
        const SampleRange a = sanitize(GetParam(), x, mine);
        const SampleRange b = sanitize(kDefaultForm, x, reference);
        EXPECT_EQ(bits(mine), bits(reference)) << what;
        EXPECT_EQ(bits({a.min, a.max}), bits({b.min, b.max})) << what;
        for (const SampleRange range :
             {SampleRange{-3.0f, 7.0f}, SampleRange{-kMax / 2, kMax / 2}}) {
            std::vector<float> d1 = mine, d2 = mine;
            denormalize(GetParam(), d1, 0.125f, range);
            denormalize(kDefaultForm, d2, 0.125f, range);
            EXPECT_EQ(bits(d1), bits(d2)) << what;
        }
        for (const float multiplier : {4.0f, 4096.0f, -4.0f, 0.0f}) {
            std::vector<int16_t> q1(x.size()), q2(x.size());
            EXPECT_EQ(quantize(GetParam(), x, multiplier, 3, q1),
                      quantize(kDefaultForm, x, multiplier, 3, q2))
                << what << " x" << multiplier;
            EXPECT_EQ(q1, q2) << what << " x" << multiplier;
            EXPECT_EQ(quantize_would_clamp(GetParam(), x, multiplier),
                      quantize_would_clamp(kDefaultForm, x, multiplier))
                << what << " x" << multiplier;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, SampleLoops, ::testing::ValuesIn(built_forms()),
                         [](const ::testing::TestParamInfo<Form>& info) {
                             return std::string(info.param == Form::Sse2 ? "Sse2" : "Plain");
                         });

}  // namespace
}  // namespace kestova::sample_loops
