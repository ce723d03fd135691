// Writes the golden version-2 streams into a directory (normally tests/fixtures/codec_v2): for
// each case its input (NAME.input, raw little-endian samples), its stream (NAME.kv2) and the
// samples the stream decodes to (NAME.decoded), and the MANIFEST the fixture test reads
// ("name element_type max_error relative" per line). Run it only for a deliberate format
// change, and commit what it writes.
// Usage: make_v2_fixtures DIRECTORY
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "codec/v2/decoder.h"
#include "codec/v2/encoder.h"

namespace {

using namespace kestova::v2;
using kestova::ElementType;

struct Case {
    std::string name;
    ElementType type;
    MaxError target;
    std::vector<uint8_t> input;
};

template <typename T>
std::vector<uint8_t> bytes_of(const std::vector<T>& x) {
    std::vector<uint8_t> out(x.size() * sizeof(T));
    std::memcpy(out.data(), x.data(), out.size());
    return out;
}

// Deterministic samples: a sine with a ripple, a walk of whole steps, spikes, two tones with a
// little noise (where the linear method pays), whole counts times a scale that is not a power of
// two, with one sample off that lattice.
template <typename T>
std::vector<T> signal(std::size_t n, double amplitude, unsigned kind) {
    std::vector<T> x(n);
    uint32_t state = 12345;
    double walk = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        state = state * 1103515245u + 12345u;
        const double t = static_cast<double>(i);
        double v = 0.0;
        if (kind == 0) v = std::sin(0.05 * t) + 0.1 * std::sin(1.7 * t);
        if (kind == 1) v = walk += static_cast<double>(state >> 29) - 3.5;
        if (kind == 2) v = i % 37 == 5 ? 1.0 : 0.0;
        if (kind == 3) v = std::sin(0.031 * t) + 0.4 * std::sin(0.23 * t) + 1e-4 * (state >> 24);
        if (kind == 4) {
            const double counts = std::round(200.0 * std::sin(0.02 * t)) + (i == 700 ? 0.2 : 0.0);
            x[i] = static_cast<T>(0.0024420025 * counts - 0.6752);
            continue;
        }
        x[i] = static_cast<T>(std::round(amplitude * v * 1e6) / 1e6);
    }
    return x;
}

std::vector<Case> cases() {
    return {
        {"empty-float32", ElementType::Float32, {1e-3, true}, {}},
        {"single-float32", ElementType::Float32, {1e-3, true}, bytes_of(std::vector<float>{2.5f})},
        {"sine-1000-float32-1e-3",
         ElementType::Float32,
         {1e-3, true},
         bytes_of(signal<float>(1000, 3.0, 0))},
        {"sine-80-float32-1e-2",
         ElementType::Float32,
         {1e-2, true},
         bytes_of(signal<float>(80, 3.0, 0))},
        {"sine-300-float64-abs1e-6",
         ElementType::Float64,
         {1e-6, false},
         bytes_of(signal<double>(300, 1.0, 0))},
        {"walk-70000-int16-exact",
         ElementType::Int16,
         {0.0, true},
         bytes_of(signal<int16_t>(70000, 10.0, 1))},
        {"walk-1000-int32-exact",
         ElementType::Int32,
         {0.0, true},
         bytes_of(signal<int32_t>(1000, 1000.0, 1))},
        {"tones-9000-float32-1e-4",
         ElementType::Float32,
         {1e-4, true},
         bytes_of(signal<float>(9000, 1.0, 3))},
        {"lattice-2000-float32-1e-5",
         ElementType::Float32,
         {1e-5, true},
         bytes_of(signal<float>(2000, 1.0, 4))},
        {"spikes-500-uint8-abs2",
         ElementType::Uint8,
         {2.0, false},
         bytes_of(signal<uint8_t>(500, 200.0, 2))},
        // Long enough for coder 2: four table-coded blocks and a short class-coded one.
        {"tones-262200-int8-abs1",
         ElementType::Int8,
         {1.0, false},
         bytes_of(signal<int8_t>(262200, 50.0, 3))},
    };
}

bool write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_v2_fixtures DIRECTORY\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::ofstream manifest(dir + "/MANIFEST");
    manifest << "# name element_type max_error relative (written by tools/make_v2_fixtures.cpp)\n";
    for (const Case& c : cases()) {
        const std::size_t size = element_row(c.type)->size;
        const auto encoded = encode({c.type, c.input.data(), c.input.size() / size}, c.target);
        if (!encoded) {
            std::fprintf(stderr, "%s: %s\n", c.name.c_str(), encoded.error().message().c_str());
            return 1;
        }
        const auto decoded = decode(encoded->stream);
        if (!decoded) return 1;
        if (!write(dir + "/" + c.name + ".input", c.input) ||
            !write(dir + "/" + c.name + ".kv2", encoded->stream) ||
            !write(dir + "/" + c.name + ".decoded", decoded->samples)) {
            return 1;
        }
        char bound[32];
        std::snprintf(bound, sizeof bound, "%.17g", c.target.value);
        manifest << c.name << ' ' << element_row(c.type)->name << ' ' << bound << ' '
                 << (c.target.relative ? 1 : 0) << '\n';
    }
    std::printf("wrote %zu cases\n", cases().size());
    return manifest ? 0 : 1;
}
