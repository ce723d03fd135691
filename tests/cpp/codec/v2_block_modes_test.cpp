// The version-2 block coders: every residual sequence round-trips through the class coder and
// the table coder and through each coder byte's layout, blocks that are cut, extended or forged
// are refused, and long streams take the table coder where it pays. The coders are integer code
// with no processor-specific path, so one run covers every processor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/v2/block_modes.h"
#include "codec/v2/class_coder.h"
#include "codec/v2/decoder.h"
#include "codec/v2/encoder.h"
#include "codec/v2/table_coder.h"

namespace kestova::v2 {
namespace {

using Residuals = std::vector<int64_t>;

struct Coder {
    std::string name;
    void (*encode)(std::span<const int64_t>, std::vector<uint8_t>&);
    bool (*decode)(std::span<const uint8_t>, std::span<int64_t>);
};

const std::vector<Coder>& coders() {
    static const std::vector<Coder> all{
        {"class", encode_block, decode_block},
        {"table", [](auto r, auto& out) { encode_table_block(r, SIZE_MAX, out); },
         decode_table_block},
        {"coder 1", [](auto r, auto& out) { encode_residuals(kClassBlocksCoder, r, out); },
         [](auto b, auto r) { return decode_residuals(kClassBlocksCoder, b, r); }},
        {"coder 2", [](auto r, auto& out) { encode_residuals(kModeBlocksCoder, r, out); },
         [](auto b, auto r) { return decode_residuals(kModeBlocksCoder, b, r); }},
    };
    return all;
}

// Residuals of mostly small magnitudes with runs of zeros, as a smooth signal gives.
Residuals typical(std::size_t n, unsigned seed = 1) {
    std::mt19937 rng(seed);
    std::geometric_distribution<int> size(0.3);
    Residuals r(n);
    for (std::size_t i = 0; i < n; ++i) {
        const int64_t v = (i / 500) % 3 == 0 ? 0 : size(rng);
        r[i] = rng() % 2 ? v : -v;
    }
    return r;
}

// Every class 0 to 32 with both signs, at both ends of the class.
Residuals every_class() {
    Residuals r;
    for (int c = 0; c <= 32; ++c) {
        const int64_t low = c == 0 ? 0 : int64_t{1} << (c - 1);
        const int64_t high = (int64_t{1} << c) - 1;
        r.insert(r.end(), {low, -low, high, -high, low, high});
    }
    return r;
}

std::vector<std::pair<std::string, Residuals>> cases() {
    std::vector<std::pair<std::string, Residuals>> out;
    for (std::size_t n = 1; n <= 80; ++n) out.emplace_back("typical", typical(n, unsigned(n)));
    for (const std::size_t n : {1023, 1024, 1025, 65535, 65536}) {
        out.emplace_back("typical", typical(n));
    }
    out.emplace_back("zeros", Residuals(70000, 0));
    out.emplace_back("one value", Residuals(333, -5));
    Residuals spikes(5000, 0);
    for (std::size_t i = 7; i < spikes.size(); i += 97)
        spikes[i] = i % 2 ? 4294967295 : -4294967295;
    out.emplace_back("spikes", spikes);
    out.emplace_back("every class", every_class());
    Residuals mixed = typical(20000, 9);
    for (std::size_t i = 0; i < mixed.size(); i += 3) mixed[i] *= 1 << 20;
    out.emplace_back("mixed", mixed);
    return out;
}

TEST(V2BlockModes, EveryCoderRoundTripsEveryCase) {
    for (const Coder& coder : coders()) {
        for (const auto& [name, residuals] : cases()) {
            std::vector<uint8_t> block{0xEE};  // bytes before the block stay as they are
            coder.encode(residuals, block);
            ASSERT_EQ(block[0], 0xEE);
            Residuals back(residuals.size(), 99);
            ASSERT_TRUE(coder.decode(std::span(block).subspan(1), back))
                << coder.name << ", " << name << ", n=" << residuals.size();
            EXPECT_EQ(back, residuals) << coder.name << ", " << name << ", n=" << residuals.size();
        }
    }
}

TEST(V2BlockModes, CutExtendedOrForgedBlocksAreRefused) {
    const Residuals residuals = typical(3000);
    for (const Coder& coder : coders()) {
        std::vector<uint8_t> block;
        coder.encode(residuals, block);
        Residuals back(residuals.size());
        for (const std::size_t cut : {std::size_t{1}, std::size_t{2}, block.size()}) {
            EXPECT_FALSE(coder.decode(std::span(block).first(block.size() - cut), back))
                << coder.name << " cut by " << cut;
        }
        auto extended = block;
        extended.insert(extended.end(), {0, 0});
        EXPECT_FALSE(coder.decode(extended, back)) << coder.name;
        // Fewer residuals than the block holds (the class coder's last bytes may hold one more
        // residual, so only the table coder tells more).
        Residuals shorter(residuals.size() - 1);
        EXPECT_FALSE(coder.decode(block, shorter)) << coder.name;
    }
    // Under a byte limit below its size the table coder writes nothing.
    std::vector<uint8_t> within;
    ASSERT_TRUE(encode_table_block(residuals, SIZE_MAX, within));
    std::vector<uint8_t> none;
    EXPECT_FALSE(encode_table_block(residuals, within.size() / 2, none));
    EXPECT_TRUE(none.empty());
    // The table coder's own fields: a state below 2^16, an odd or too long count of word bytes,
    // tables that do not add up, and under coder 2 a mode that does not exist.
    std::vector<uint8_t> block;
    ASSERT_TRUE(encode_table_block(residuals, SIZE_MAX, block));
    Residuals back(residuals.size());
    const auto forged = [&](std::size_t at, uint8_t value, std::size_t count = 1) {
        auto copy = block;
        std::fill_n(copy.begin() + static_cast<std::ptrdiff_t>(at), count, value);
        return !decode_table_block(copy, back);
    };
    Residuals longer(residuals.size() + 1);
    EXPECT_FALSE(decode_table_block(block, longer));
    EXPECT_TRUE(forged(2, 0, 2));  // the first state below 2^16
    EXPECT_TRUE(forged(16, static_cast<uint8_t>(block[16] ^ 1)));
    EXPECT_TRUE(forged(19, 0xFF));
    const std::size_t tables = 20 + (block[16] | block[17] << 8 | block[18] << 16);
    EXPECT_TRUE(forged(tables, static_cast<uint8_t>(block[tables] ^ 0x7F)));  // first top
    for (const uint8_t mode : {2, 0xFF}) {
        std::vector<uint8_t> moded{mode};
        moded.insert(moded.end(), block.begin(), block.end());
        EXPECT_FALSE(decode_residuals(kModeBlocksCoder, moded, back)) << int(mode);
    }
    EXPECT_FALSE(decode_residuals(kModeBlocksCoder, {}, back));
}

TEST(V2BlockModes, LongStreamsTakeTheTableCoderWhereItPays) {
    EXPECT_EQ(coder_for(kModeBlocksMinimum - 1), kClassBlocksCoder);
    EXPECT_EQ(coder_for(kModeBlocksMinimum), kModeBlocksCoder);
    // Four full blocks, then a short one.
    const std::size_t n = kModeBlocksMinimum + 100;
    std::vector<float> x(n);
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(0.0f, 0.01f);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = std::sin(0.01f * static_cast<float>(i % 10007)) + noise(rng);
    }
    const auto encoded = encode({ElementType::Float32, x.data(), n}, {1e-3, true});
    ASSERT_TRUE(encoded);
    const auto decoded = decode(encoded->stream);
    ASSERT_TRUE(decoded) << decoded.error().message();
    EXPECT_EQ(decoded->info.coder, kModeBlocksCoder);
    std::vector<float> y(n);
    std::memcpy(y.data(), decoded->samples.data(), decoded->samples.size());
    double worst = 0.0;
    for (std::size_t i = 0; i < n; ++i) worst = std::max(worst, double(std::abs(x[i] - y[i])));
    EXPECT_EQ(worst, encoded->max_error);
    for (std::size_t i = 0; i < encoded->stream.size(); i += 1009) {
        auto damaged = encoded->stream;
        damaged[i] ^= 0x10;
        EXPECT_FALSE(decode(damaged)) << "flip at " << i;
    }
    // Per block: the first is coded both ways (a full block of steady statistics takes the table
    // coder); later ones go by the estimate, and after a class-coded block the next three of its
    // length keep the class coder untried (even steady ones); a short block keeps it, its tables
    // costing more than they save.
    ResidualEncoder coder(kModeBlocksCoder);
    std::vector<uint8_t> modes;
    const Residuals steady = typical(65536), zeros(65536, 0), short_block = typical(100);
    for (const Residuals* block :
         {&steady, &zeros, &steady, &steady, &steady, &steady, &short_block}) {
        std::vector<uint8_t> out;
        coder.encode(*block, out);
        modes.push_back(out[0]);
        Residuals back(block->size());
        ASSERT_TRUE(decode_residuals(kModeBlocksCoder, out, back));
        EXPECT_EQ(back, *block);
    }
    EXPECT_EQ(modes, (std::vector<uint8_t>{kTableMode, kClassMode, kClassMode, kClassMode,
                                           kClassMode, kTableMode, kClassMode}));
}

// What the mode choice goes by: the table coder's bytes before coding (near what it writes) and
// the class coder's as estimated from the symbols alone, on every case of a few hundred
// residuals or more.
TEST(V2BlockModes, EstimatesAreNearTheCodersOutput) {
    for (const auto& [name, residuals] : cases()) {
        if (residuals.size() < 300) continue;
        const TablePlan plan(residuals);
        std::vector<uint8_t> table, block;
        plan.write(table);
        encode_block(residuals, block);
        const auto near = [](std::size_t actual, std::size_t guess, double share) {
            const auto a = static_cast<double>(actual), g = static_cast<double>(guess);
            return std::abs(a - g) <= share * a + 16;
        };
        EXPECT_PRED3(near, table.size(), plan.bytes(), 0.01) << name << ", n=" << residuals.size();
        EXPECT_PRED3(near, block.size(), estimate_class_bytes(plan), 0.1)
            << name << ", n=" << residuals.size();
    }
}

}  // namespace
}  // namespace kestova::v2
