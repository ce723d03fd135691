// Writes seed chunks for fuzz_hdf5_chunk into the directory argv[1]: every element type, with
// chunk sizes equal to, above and below the container's sample count.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "codec/compressor.h"
#include "tests/fuzz/seed_output.h"

int main(int argc, char** argv) {
    const auto directory = kestova::fuzz::corpus_directory(argc, argv);
    if (!directory) return 2;
    int written = 0;
    for (const uint32_t n : {1u, 100u, 1000u}) {
        std::vector<float> x(n);
        for (uint32_t i = 0; i < n; ++i) x[i] = 100.0f * std::sin(0.05f * static_cast<float>(i));
        const auto container = kestova::compress(x, {});
        if (!container) {
            std::fprintf(stderr, "%s\n", container.error().message().c_str());
            return 1;
        }
        for (uint8_t type = 1; type <= 7; ++type) {
            for (const uint32_t elements : {n, n + 3, n - 1}) {
                std::vector<uint8_t> seed{type};
                for (int b = 0; b < 4; ++b) seed.push_back(static_cast<uint8_t>(elements >> 8 * b));
                seed.insert(seed.end(), container->begin(), container->end());
                kestova::fuzz::write_seed(*directory, "seed_" + std::to_string(written++), seed);
            }
        }
    }
    std::printf("wrote %d seeds\n", written);
    return 0;
}
