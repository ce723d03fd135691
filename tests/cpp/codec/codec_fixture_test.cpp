// The golden containers of tests/fixtures/codec, on every executor path: decoding must give the
// recorded samples, and compressing the recorded input must give the same container. A change
// of the format or of the codec's arithmetic shows up here as a failing fixture.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>
#include <string>
#include <tuple>

#include "codec/arans/arans.h"
#include "codec/compressor.h"
#include "codec/decompressor.h"
#include "codec/header.h"
#include "tests/cpp/codec/codec_fixture_format.h"
#include "tests/cpp/support/codec_paths.h"

namespace kestova {
namespace {

using testing_support::compress_on;
using testing_support::decompress_on;

using fixtures::FixtureCase;

std::string fixture_path(const std::string& file) {
    return std::string(KESTOVA_FIXTURE_DIR) + "/" + file;
}

// Every case of the manifest; a malformed line becomes a case with an empty name, which fails.
std::vector<FixtureCase> manifest_cases() {
    std::ifstream in(fixture_path(fixtures::kManifestName));
    std::vector<FixtureCase> cases;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        cases.push_back(fixtures::parse_manifest_line(line).value_or(FixtureCase{}));
    }
    return cases;
}

// The coefficient image of a container's payload.
std::vector<uint8_t> payload_image(const std::vector<uint8_t>& container) {
    const std::span<const uint8_t> payload = std::span(container).subspan(HEADER_SIZE);
    if (container[14] == 1) return arans::decode_stream(payload).value_or(std::vector<uint8_t>{});
    std::vector<uint8_t> image;
    z_stream s{};
    inflateInit2(&s, -15);
    s.next_in = const_cast<Bytef*>(payload.data());
    s.avail_in = static_cast<uInt>(payload.size());
    uint8_t chunk[4096];
    int status = Z_OK;
    while (status == Z_OK) {
        s.next_out = chunk;
        s.avail_out = sizeof(chunk);
        status = inflate(&s, Z_NO_FLUSH);
        image.insert(image.end(), chunk, chunk + (sizeof(chunk) - s.avail_out));
    }
    inflateEnd(&s);
    return image;
}

// The image's little-endian 16-bit coefficients.
std::vector<int16_t> coefficients(const std::vector<uint8_t>& image) {
    std::vector<int16_t> q(image.size() / 2);
    for (std::size_t i = 0; i < q.size(); ++i) {
        q[i] = static_cast<int16_t>(image[2 * i] | image[2 * i + 1] << 8);
    }
    return q;
}

TEST(CodecFixtures, CoverEveryMethodCoderAndScale) {
    std::set<std::tuple<int, int, int>> seen;
    for (const FixtureCase& c : manifest_cases()) {
        ASSERT_FALSE(c.container.empty()) << "malformed manifest line";
        seen.emplace(int(c.options.method), int(c.options.coder), int(c.options.scale));
    }
    EXPECT_EQ(seen.size(), 4u * 2u * 3u);
}

class CodecFixture : public ::testing::TestWithParam<std::tuple<FixtureCase, Undra::Isa>> {
  protected:
    const FixtureCase& fixture() const { return std::get<0>(GetParam()); }
    Undra::Isa isa() const { return std::get<1>(GetParam()); }
    std::vector<uint8_t> container() const {
        return fixtures::read_file(fixture_path(fixture().container));
    }
    std::vector<float> input() const {
        return fixtures::read_samples(fixture_path(fixture().input));
    }
};

TEST_P(CodecFixture, DecodesToTheRecordedSamples) {
    const std::vector<uint8_t> bytes = container();
    ASSERT_GE(bytes.size(), HEADER_SIZE) << fixture().container;
    const auto out = decompress_on(bytes, isa());
    ASSERT_TRUE(out.has_value()) << out.error().message();
    if (isa() == fixture().isa) {
        EXPECT_EQ(fixtures::fnv1a64(*out), fixture().output_digest);
        return;
    }
    // Elsewhere the samples agree with the recording path's within the engine's rounding.
    if (!Undra::isa_supported(fixture().isa)) GTEST_SKIP() << "recording path not available";
    const auto recorded = decompress_on(bytes, fixture().isa);
    ASSERT_TRUE(recorded.has_value());
    ASSERT_EQ(out->size(), recorded->size());
    const auto header = KestovaHeader::from_bytes(bytes).value();
    const float tolerance = 1e-5f * (header.signal_max - header.signal_min);
    for (std::size_t i = 0; i < out->size(); ++i) {
        ASSERT_NEAR((*out)[i], (*recorded)[i], tolerance) << i;
    }
}

TEST_P(CodecFixture, CompressesToTheRecordedContainer) {
    const std::vector<uint8_t> expected = container();
    const auto made = compress_on(input(), fixture().options, isa());
    ASSERT_TRUE(made.has_value()) << made.error().message();
    if (isa() == fixture().isa) {
        EXPECT_TRUE(*made == expected) << "container bytes differ";
        return;
    }
    // Elsewhere the header agrees up to the payload length, the coefficients within one unit.
    ASSERT_GE(made->size(), HEADER_SIZE);
    EXPECT_TRUE(std::equal(made->begin(), made->begin() + 32, expected.begin()));
    const auto got = coefficients(payload_image(*made));
    const auto want = coefficients(payload_image(expected));
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        ASSERT_LE(std::abs(int(got[i]) - int(want[i])), 1) << i;
    }
}

std::string case_name(const ::testing::TestParamInfo<CodecFixture::ParamType>& info) {
    std::string name = std::get<0>(info.param).container + "_" +
                       std::string(Undra::isa_name(std::get<1>(info.param)));
    std::replace_if(
        name.begin(), name.end(), [](char ch) { return !std::isalnum(ch); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Golden, CodecFixture,
                         ::testing::Combine(::testing::ValuesIn(manifest_cases()),
                                            ::testing::ValuesIn(Undra::supported_isas())),
                         case_name);

}  // namespace
}  // namespace kestova
