#include "codec/deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "codec/compressor.h"
#include "codec/decompressor.h"
#include "codec/header.h"
#include "codec/tuned/tuned_compressor.h"
#include "tests/cpp/support/codec_paths.h"
#include "tests/cpp/support/codec_test_support.h"

namespace kestova {
namespace {

using namespace testing_support;
using Bytes = std::vector<uint8_t>;

// A coefficient-like image: small little-endian int16 values around zero, a few larger ones.
Bytes coefficient_image(std::size_t values, uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> spread(0.0f, 6.0f);
    Bytes image(2 * values);
    for (std::size_t i = 0; i < values; ++i) {
        const auto v = static_cast<int16_t>(i % 97 == 0 ? 3000 - 11 * (i % 500) : spread(rng));
        image[2 * i] = static_cast<uint8_t>(v & 0xFF);
        image[2 * i + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    }
    return image;
}

// Raw deflate of `in` by zlib at `level` with `strategy` (level 0 writes stored blocks,
// Z_FIXED fixed Huffman codes), for streams of every block type.
Bytes zlib_deflate(const Bytes& in, int level, int strategy = Z_DEFAULT_STRATEGY) {
    z_stream s{};
    EXPECT_EQ(deflateInit2(&s, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    Bytes out(deflateBound(&s, in.size()));
    s.next_in = const_cast<Bytef*>(in.data());
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

Bytes fast_deflate(const Bytes& in) {
    Bytes out;
    EXPECT_TRUE(deflate_raw_fast(in, out).has_value());
    return out;
}

// The outcome of an inflation as short text: the byte count and a hash, or the error's message.
std::string outcome(const KestovaResult<InflatedBytes>& r) {
    if (!r) return "error: " + r.error().message();
    const auto bytes = r->bytes();
    return std::to_string(bytes.size()) + " bytes, hash " +
           std::to_string(std::hash<std::string_view>{}(
               std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
}

// inflate_raw (libdeflate first) and inflate_raw_zlib give the same bytes or the same error.
void expect_paths_agree(std::span<const uint8_t> payload, std::size_t limit,
                        const std::string& what) {
    EXPECT_EQ(outcome(inflate_raw(payload, limit)), outcome(inflate_raw_zlib(payload, limit)))
        << what << ", " << payload.size() << " payload bytes, limit " << limit;
}

// Streams of every kind: both encoders, stored, fixed and dynamic blocks, empty and tiny.
std::vector<std::pair<std::string, Bytes>> sample_streams(const Bytes& image) {
    return {{"zlib-6", zlib_deflate(image, 6)},
            {"zlib-stored", zlib_deflate(image, 0)},
            {"zlib-fixed", zlib_deflate(image, 6, Z_FIXED)},
            {"libdeflate", fast_deflate(image)},
            {"empty", fast_deflate({})},
            {"one-byte", zlib_deflate({42}, 6)}};
}

TEST(DeflateFast, RoundTripsThroughBothInflaters) {
    for (std::size_t values : {0u, 1u, 7u, 1000u, 300001u}) {
        const Bytes image = coefficient_image(values, static_cast<uint32_t>(values));
        Bytes out = {9, 9};  // appends behind what is there
        ASSERT_TRUE(deflate_raw_fast(image, out).has_value());
        EXPECT_EQ(out[0], 9);
        const std::span<const uint8_t> payload = std::span(out).subspan(2);
        for (const auto& r :
             {inflate_raw(payload, image.size()), inflate_raw_zlib(payload, 1 << 30)}) {
            ASSERT_TRUE(r.has_value()) << r.error().message();
            EXPECT_TRUE(std::ranges::equal(r->bytes(), image)) << values;
        }
    }
}

TEST(DeflateFast, ReferenceEncoderStillWritesZlibLevelSix) {
    const Bytes image = coefficient_image(5000, 3);
    Bytes out;
    ASSERT_TRUE(deflate_raw(image, out).has_value());
    EXPECT_EQ(out, zlib_deflate(image, 6));
}

TEST(InflatePaths, AgreeOnCompleteStreamsTrailingBytesAndLimits) {
    const Bytes image = coefficient_image(20000, 5);
    for (const auto& [name, stream] : sample_streams(image)) {
        const std::size_t size = name == "empty" ? 0 : name == "one-byte" ? 1 : image.size();
        for (std::size_t limit : {std::size_t{0}, std::size_t{1}, size / 2, size - (size > 0), size,
                                  size + 1, std::size_t{1} << 40}) {
            expect_paths_agree(stream, limit, name);
        }
        Bytes trailing = stream;
        trailing.insert(trailing.end(), {0xFF, 0x00, 0x13, 0x37});
        expect_paths_agree(trailing, size, name + " with trailing bytes");
        const auto r = inflate_raw(trailing, size);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(r->size, size);
    }
}

TEST(InflatePaths, AgreeOnTruncatedStreams) {
    const Bytes image = coefficient_image(20000, 6);
    for (const auto& [name, stream] : sample_streams(image)) {
        for (std::size_t cut = 0; cut < stream.size(); cut += 1 + stream.size() / 97) {
            expect_paths_agree(std::span(stream).first(cut), image.size(), name + " truncated");
        }
        // The last bytes hold the end of the final block: every cut there ends early too.
        for (std::size_t cut = stream.size() > 8 ? stream.size() - 8 : 0; cut < stream.size();
             ++cut) {
            expect_paths_agree(std::span(stream).first(cut), image.size(), name + " truncated");
        }
    }
    // A truncated payload keeps what inflated before the cut.
    const Bytes stream = zlib_deflate(image, 6);
    const auto r = inflate_raw(std::span(stream).first(stream.size() / 2), image.size());
    ASSERT_TRUE(r.has_value());
    EXPECT_GT(r->size, 0u);
    EXPECT_LT(r->size, image.size());
    EXPECT_TRUE(std::ranges::equal(r->bytes(), std::span(image).first(r->size)));
}

TEST(InflatePaths, AgreeOnCorruptStreams) {
    const Bytes image = coefficient_image(4000, 7);
    std::mt19937 rng(19);
    for (const auto& [name, stream] : sample_streams(image)) {
        if (stream.empty()) continue;
        for (int trial = 0; trial < 600; ++trial) {
            Bytes bad = stream;
            const int flips = 1 + static_cast<int>(rng() % 3);
            for (int f = 0; f < flips; ++f) {
                // Mostly near the start, where the block headers and code tables are.
                const std::size_t at = trial % 2 == 0
                                           ? rng() % std::min<std::size_t>(bad.size(), 64)
                                           : rng() % bad.size();
                bad[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
            }
            expect_paths_agree(bad, image.size(), name + " corrupt");
            expect_paths_agree(bad, image.size() / 3, name + " corrupt, short limit");
        }
    }
    // Random bytes: mostly invalid block types and code tables.
    for (int trial = 0; trial < 2000; ++trial) {
        Bytes noise(1 + rng() % 300);
        for (auto& b : noise) b = static_cast<uint8_t>(rng());
        expect_paths_agree(noise, 1 << 16, "noise");
    }
    Bytes reserved = zlib_deflate(image, 6);
    reserved[0] = 0x07;  // final block of the reserved type 3
    EXPECT_EQ(outcome(inflate_raw(reserved, image.size())),
              "error: Can't decompress data, reason: corrupt deflate stream");
}

TEST(InflatePaths, UnusedLengthSymbolIsRefusedUnlessTheStreamFillsTheLimitExactly) {
    // One fixed block: literal 'a', length symbol 286 (unused by deflate) at distance 1, end of
    // block. zlib refuses it; libdeflate reads 286 as length 258, so only a caller that asks for
    // exactly those 259 bytes gets them (the documented difference).
    const Bytes crafted = {75, 28, 3, 0};
    const std::string refused = "error: Can't decompress data, reason: corrupt deflate stream";
    EXPECT_EQ(outcome(inflate_raw_zlib(crafted, 259)), refused);
    for (std::size_t limit : {1u, 258u, 260u, 4096u}) {
        EXPECT_EQ(outcome(inflate_raw(crafted, limit)), outcome(inflate_raw_zlib(crafted, limit)))
            << limit;
    }
    const auto lenient = inflate_raw(crafted, 259);
    ASSERT_TRUE(lenient.has_value());
    EXPECT_TRUE(std::ranges::all_of(lenient->bytes(), [](uint8_t b) { return b == 'a'; }));
}

TEST(InflatePaths, DecompressorGivesTheSameSamplesForBothEncodersOnEveryPath) {
    // The container's deflate payload re-coded by libdeflate decodes to the same samples.
    const auto x = test_signal(30001);
    for (Undra::Isa isa : Undra::supported_isas()) {
        const auto bytes = compress_on(x, {.coder = EntropyCoder::Deflate}, isa).value();
        const auto image =
            inflate_raw_zlib(std::span(bytes).subspan(HEADER_SIZE), std::size_t{1} << 30).value();
        Bytes fast(bytes.begin(), bytes.begin() + HEADER_SIZE);
        ASSERT_TRUE(deflate_raw_fast(image.bytes(), fast).has_value());
        patch<uint32_t>(fast, kPayloadLength, static_cast<uint32_t>(fast.size() - HEADER_SIZE));
        const auto reference = decompress_on(bytes, isa);
        const auto recoded = decompress_on(fast, isa);
        ASSERT_TRUE(reference.has_value() && recoded.has_value());
        EXPECT_EQ(*recoded, *reference) << static_cast<int>(isa);
        EXPECT_LE(fast.size(), bytes.size() + bytes.size() / 50) << static_cast<int>(isa);
    }
}

TEST(InflatePaths, TunedDeflateContainersDecodeAlikeThroughBothInflatersOnEveryPath) {
    // The tuned encoder's payloads come from libdeflate; zlib must read them as libdeflate does.
    const auto x = test_signal(20011);
    for (Undra::Isa isa : Undra::supported_isas()) {
        for (uint8_t scale : {uint8_t{6}, uint8_t{11}, uint8_t{12}}) {
            const auto bytes =
                compress_tuned_on(x, {.coder = EntropyCoder::Deflate, .scale = scale}, isa).value();
            ASSERT_EQ(bytes[kCoder], 0);
            const auto payload = std::span(bytes).subspan(HEADER_SIZE);
            // At the image's exact size libdeflate inflates it.
            const auto zlib = inflate_raw_zlib(payload, std::size_t{1} << 30);
            ASSERT_TRUE(zlib.has_value());
            const auto fast = inflate_raw(payload, zlib->size);
            ASSERT_TRUE(fast.has_value());
            EXPECT_TRUE(std::ranges::equal(fast->bytes(), zlib->bytes()));
            const auto decoded = decompress_on(bytes, isa);
            ASSERT_TRUE(decoded.has_value()) << decoded.error().message();
            EXPECT_EQ(decoded->size(), x.size());
        }
    }
}

}  // namespace
}  // namespace kestova
