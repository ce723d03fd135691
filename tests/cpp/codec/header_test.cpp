#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include "codec/header.h"

namespace kestova {
namespace {

using Bytes = std::vector<uint8_t>;

HeaderFields sample_fields() {
    return {{'c', 'f', '9', '7'}, 6, 11, 1, 1000, -1.5f, 2.25f, 0.125f, 4321};
}

Bytes valid_header() {
    std::array<uint8_t, HEADER_SIZE> out{};
    write_header(sample_fields(), out);
    return Bytes(out.begin(), out.end());
}

void put_u32(Bytes& b, std::size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

TEST(Header, WritesTheDocumentedLayout) {
    const Bytes h = valid_header();
    const Bytes start{0x4B, 0x53, 0x54, 0x56, 0x01, 0x01, 0x66, 0x33, 0x63, 0x66,
                      0x39, 0x37, 0x06, 0x0B, 0x01, 0x00, 0xE8, 0x03, 0x00, 0x00};
    EXPECT_EQ(Bytes(h.begin(), h.begin() + 20), start);
    EXPECT_EQ(Bytes(h.begin() + 20, h.begin() + 24), (Bytes{0x00, 0x00, 0xC0, 0xBF}));  // -1.5
    EXPECT_EQ(Bytes(h.begin() + 32, h.begin() + 36), (Bytes{0xE1, 0x10, 0x00, 0x00}));  // 4321
    EXPECT_EQ(Bytes(h.begin() + 36, h.end()), Bytes(16, 0));
}

TEST(Header, ParsesWhatItWritesAndCarriesEveryField) {
    Bytes bytes = valid_header();
    bytes[5] = 7;   // minor version is not judged
    bytes[15] = 9;  // flags carried as read
    bytes[40] = 0xAA;
    bytes.insert(bytes.end(), {1, 2, 3});  // longer input: only 52 bytes are read
    const auto h = KestovaHeader::from_bytes(bytes);
    ASSERT_TRUE(h) << h.error().message();
    EXPECT_EQ(h->magic, (std::array<uint8_t, 4>{'K', 'S', 'T', 'V'}));
    EXPECT_EQ(h->version, (std::array<uint8_t, 2>{1, 7}));
    EXPECT_EQ(h->format_tag, (std::array<uint8_t, 2>{'f', '3'}));
    EXPECT_EQ(h->method_tag, (std::array<uint8_t, 4>{'c', 'f', '9', '7'}));
    EXPECT_EQ(h->levels, 6);
    EXPECT_EQ(h->scale, 11);
    EXPECT_EQ(h->coder, 1);
    EXPECT_EQ(h->flags, 9);
    EXPECT_EQ(h->sample_count, 1000u);
    EXPECT_EQ(h->signal_min, -1.5f);
    EXPECT_EQ(h->signal_max, 2.25f);
    EXPECT_EQ(h->normalized_mean, 0.125f);
    EXPECT_EQ(h->payload_length, 4321u);
    EXPECT_EQ(h->reserved[4], 0xAA);
}

TEST(Header, AcceptsEveryMethodScaleAndCoderInRange) {
    for (const char* tag : {"cf53", "cf97", "db04", "sym4"}) {
        for (uint8_t scale = 6; scale <= 12; ++scale) {
            for (uint8_t coder = 0; coder < 2; ++coder) {
                Bytes b = valid_header();
                std::copy(tag, tag + 4, b.begin() + 8);
                b[13] = scale;
                b[14] = coder;
                EXPECT_TRUE(KestovaHeader::from_bytes(b)) << tag << int(scale) << int(coder);
            }
        }
    }
}

TEST(Header, LevelsAndSubnormalsAreNotJudgedHere) {
    for (const uint8_t levels : {0, 11, 255}) {
        Bytes b = valid_header();
        b[12] = levels;
        EXPECT_TRUE(KestovaHeader::from_bytes(b));
    }
    Bytes b = valid_header();
    put_u32(b, 20, 0x00000001);  // smallest subnormal
    put_u32(b, 24, 0x80000000);  // negative zero
    EXPECT_TRUE(KestovaHeader::from_bytes(b));
}

struct RejectCase {
    const char* name;
    Bytes bytes;
    KestovaErrorKind kind;
    const char* message;
};

class HeaderReject : public ::testing::TestWithParam<RejectCase> {};

TEST_P(HeaderReject, ReportsFirstFailingCheck) {
    const auto h = KestovaHeader::from_bytes(GetParam().bytes);
    ASSERT_FALSE(h);
    EXPECT_EQ(h.error().kind(), GetParam().kind);
    EXPECT_EQ(h.error().message(), GetParam().message);
}

// A valid header with some bytes replaced, applied in order.
Bytes edited(std::initializer_list<std::pair<std::size_t, uint8_t>> edits) {
    Bytes b = valid_header();
    for (const auto& [at, v] : edits) b[at] = v;
    return b;
}

Bytes with_float_bits(std::size_t at, uint32_t bits) {
    Bytes b = valid_header();
    put_u32(b, at, bits);
    return b;
}

Bytes first_bytes(std::size_t n) {
    Bytes b = valid_header();
    b.resize(n);
    return b;
}

using K = KestovaErrorKind;
INSTANTIATE_TEST_SUITE_P(
    InOrder, HeaderReject,
    ::testing::Values(
        RejectCase{"Empty", {}, K::InvalidHeader, "Header is invalid"},
        RejectCase{"FiftyOneBytes", first_bytes(51), K::InvalidHeader, "Header is invalid"},
        RejectCase{"MagicBeforeVersion", edited({{3, 'X'}, {4, 2}}), K::InvalidMagic,
                   "Magic should be 'KSTV' but it was 'KSTX'"},
        RejectCase{"MagicNotUtf8", edited({{0, 0xFF}, {1, 0xFE}, {2, 0xFD}, {3, 0xFC}}),
                   K::InvalidMagic, "Magic should be 'KSTV' but it was '\?\?\?\?'"},
        RejectCase{"VersionBeforeFormat", edited({{4, '2'}, {5, '0'}, {6, 'x'}}), K::InvalidVersion,
                   "Invalid header version '20'"},
        RejectCase{"VersionNotUtf8", edited({{4, 0xFF}, {5, 0x00}}), K::InvalidVersion,
                   "Invalid header version '\?\?'"},
        RejectCase{"FormatBeforeMethod", edited({{7, '6'}, {8, 'z'}}), K::InvalidFormatTag,
                   "Invalid compression method 'f6'"},
        RejectCase{"FormatNotUtf8", edited({{6, 0xC0}, {7, 0xAF}}), K::InvalidFormatTag,
                   "Invalid compression method '\?\?'"},
        RejectCase{"MethodBeforeScale", edited({{11, '8'}, {13, 5}}), K::InvalidMethod,
                   "Invalid compression method 'cf98'"},
        RejectCase{"MethodCase", edited({{8, 'C'}}), K::InvalidMethod,
                   "Invalid compression method 'Cf97'"},
        RejectCase{"ScaleBelow", edited({{13, 5}, {14, 2}}), K::UnsupportedScale,
                   "Only scaled 6..12 is supported, but it was 5"},
        RejectCase{"ScaleAbove", edited({{13, 13}}), K::UnsupportedScale,
                   "Only scaled 6..12 is supported, but it was 13"},
        RejectCase{"CoderBeforeFloats", edited({{14, 2}, {23, 0x7F}, {22, 0x80}}), K::UnknownCoder,
                   "Unknown entropy coder 2"},
        RejectCase{"CoderMax", edited({{14, 255}}), K::UnknownCoder, "Unknown entropy coder 255"},
        RejectCase{"MinInfinite", with_float_bits(20, 0xFF800000), K::InvalidHeader,
                   "Header is invalid"},
        RejectCase{"MaxNan", with_float_bits(24, 0x7FC00000), K::InvalidHeader,
                   "Header is invalid"},
        RejectCase{"MeanNan", with_float_bits(28, 0xFFFFFFFF), K::InvalidHeader,
                   "Header is invalid"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestova
