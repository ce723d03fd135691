// The golden version-2 streams of tests/fixtures/codec_v2: each decodes to its recorded samples,
// and encoding its recorded input gives the same bytes. A change of the format or of the
// encoder's choices shows up here (tools/make_v2_fixtures.cpp rewrites them, deliberately).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "codec/v2/decoder.h"
#include "codec/v2/encoder.h"

namespace kestova::v2 {
namespace {

std::vector<uint8_t> read_file(const std::string& name) {
    std::ifstream in(std::string(KESTOVA_V2_FIXTURE_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(V2Fixtures, DecodeToTheRecordedSamplesAndEncodeToTheSameBytes) {
    std::ifstream manifest(std::string(KESTOVA_V2_FIXTURE_DIR) + "/MANIFEST");
    ASSERT_TRUE(manifest);
    int cases = 0;
    std::set<uint8_t> methods;
    std::set<uint8_t> coders;
    for (std::string line; std::getline(manifest, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, type;
        MaxError target;
        fields >> name >> type >> target.value >> target.relative;
        const auto row = element_row(type);
        ASSERT_TRUE(fields && row) << line;
        const auto stream = read_file(name + ".kv2");
        const auto decoded = decode(stream);
        ASSERT_TRUE(decoded) << name << ": " << decoded.error().message();
        EXPECT_EQ(decoded->samples, read_file(name + ".decoded")) << name;
        const auto input = read_file(name + ".input");
        const auto encoded = encode({row->type, input.data(), input.size() / row->size}, target);
        ASSERT_TRUE(encoded) << name;
        EXPECT_EQ(encoded->stream, stream) << name;
        methods.insert(decoded->info.method);
        coders.insert(decoded->info.coder);
        ++cases;
    }
    EXPECT_GE(cases, 10);
    for (const MethodRow& method : kMethods) {
        EXPECT_TRUE(methods.contains(method.byte)) << "no fixture of method " << method.name;
    }
    for (const CoderRow& coder : kCoders) {
        EXPECT_TRUE(coders.contains(coder.byte)) << "no fixture of coder " << coder.name;
    }
}

}  // namespace
}  // namespace kestova::v2
