// Writes seed streams for fuzz_decode_stream into the directory argv[1]: encoder output for
// short, odd, even and context-width-switching inputs, plus a few hand-made framings.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "codec/arans/arans.h"
#include "tests/fuzz/seed_output.h"

namespace {

using kestova::fuzz::write_seed;

// Little-endian int16 values drawn like quantised wavelet coefficients.
std::vector<uint8_t> coefficient_bytes(std::size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::geometric_distribution<int> mag(0.25);
    std::vector<uint8_t> out;
    while (out.size() < n) {
        int v = mag(rng);
        if (rng() % 50 == 0) v *= 200;
        if (rng() & 1) v = -v;
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
    }
    out.resize(n);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const auto directory = kestova::fuzz::corpus_directory(argc, argv);
    if (!directory) return 2;
    const std::string& dir = *directory;
    int k = 0;
    for (const std::size_t n : {0, 3, 6, 7, 8, 33, 256, 1001, 4096, 16384}) {
        write_seed(dir, "coded-" + std::to_string(k++),
                   kestova::arans::encode_stream(coefficient_bytes(n, static_cast<uint32_t>(n))));
    }
    write_seed(dir, "zero-pairs-odd", {1, 3, 0, 0, 9, 9, 0x42});
    write_seed(dir, "long-leb", {0, 8, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01});
    write_seed(dir, "plane-past-end", {0, 3, 0x01, 0x7F, 0, 0, 0, 1});
    return 0;
}
