// Writes the codec's golden containers into a directory (normally tests/fixtures/codec): each
// input signal as raw little-endian binary32, one container per method, coder and scale made on
// the portable executor path (which every processor runs), and the MANIFEST that the fixture
// tests read. Run it only for a deliberate format change, and commit what it writes.
// Usage: make_codec_fixtures DIRECTORY
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "codec/compressor.h"
#include "codec/decompressor.h"
#include "tests/cpp/codec/codec_fixture_format.h"
#include "tests/cpp/support/codec_paths.h"
#include "tests/cpp/support/codec_test_support.h"

namespace {

using namespace kestova;
using testing_support::compress_on;
using testing_support::decompress_on;

struct Input {
    std::string name;
    std::vector<float> samples;
};

// Lengths across the level rule (1 level, 4 levels at 79, 3 at 80, 6 to 7 at 1000, 8 beyond)
// and the wide range-coder context; the long sine, in small units, uses fewer levels at scale 12.
std::vector<Input> inputs() {
    using testing_support::Shape;
    using testing_support::shaped_signal;
    return {{"single-1", {2.5f}},
            {"walk-79", shaped_signal(Shape::RandomWalk, 79, 3.0)},
            {"steps-80", shaped_signal(Shape::Steps, 80, 0.125)},
            {"noisy-1000", testing_support::test_signal(1000)},
            {"sine-65537", shaped_signal(Shape::Sine, 65537, 4e-6)}};
}

int failed(const std::string& container, const KestovaError& error) {
    std::fprintf(stderr, "%s: %s\n", container.c_str(), error.message().c_str());
    return 1;
}

bool write_file(const std::string& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    constexpr Undra::Isa kPath = Undra::Isa::Portable;
    std::ofstream manifest(dir + "/" + fixtures::kManifestName, std::ios::trunc);
    manifest << "# Golden containers of the codec, written by make_codec_fixtures (tools/).\n"
                "# container input method coder scale cutoff path fnv1a64-of-decoded-samples\n";
    for (const Input& input : inputs()) {
        const std::string input_file = input.name + ".f32";
        if (!write_file(dir + "/" + input_file, input.samples.data(), 4 * input.samples.size())) {
            std::fprintf(stderr, "cannot write %s\n", input_file.c_str());
            return 1;
        }
        for (int method = 0; method < 4; ++method) {
            for (int coder = 0; coder < 2; ++coder) {
                for (uint8_t scale : {uint8_t{6}, uint8_t{11}, uint8_t{12}}) {
                    fixtures::FixtureCase c;
                    c.options = {.cutoff = static_cast<CutoffLevel>((method + scale) % 3),
                                 .coder = static_cast<EntropyCoder>(coder),
                                 .method = static_cast<CompressionMethod>(method),
                                 .scale = scale};
                    c.isa = kPath;
                    c.input = input_file;
                    c.container = input.name + "-" + fixtures::method_name(c.options.method) + "-" +
                                  fixtures::name_in(c.options.coder, kCoderNames) + "-s" +
                                  std::to_string(scale) + ".kstv";
                    const auto container = compress_on(input.samples, c.options, kPath);
                    if (!container) return failed(c.container, container.error());
                    const auto decoded = decompress_on(*container, kPath);
                    if (!decoded) return failed(c.container, decoded.error());
                    c.output_digest = fixtures::fnv1a64(*decoded);
                    if (!write_file(dir + "/" + c.container, container->data(),
                                    container->size())) {
                        std::fprintf(stderr, "cannot write %s\n", c.container.c_str());
                        return 1;
                    }
                    manifest << fixtures::manifest_line(c) << '\n';
                }
            }
        }
    }
    return manifest ? 0 : 1;
}
