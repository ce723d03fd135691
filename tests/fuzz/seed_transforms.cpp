// Writes seed inputs for fuzz_transforms into the directory argv[1]: every method at one to eight
// levels, on random and smooth signals of several lengths and magnitudes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "codec/method_table.h"
#include "tests/fuzz/seed_output.h"

int main(int argc, char** argv) {
    const auto directory = kestova::fuzz::corpus_directory(argc, argv);
    if (!directory) return 2;
    std::mt19937 rng(7);
    int written = 0;
    for (uint8_t method = 0; method < kestova::kMethods.size(); ++method) {
        for (const std::size_t n : {10u, 33u, 257u, 2000u}) {
            const auto levels = static_cast<uint8_t>(written % 8);
            const auto magnitude = static_cast<uint8_t>(written * 13 % 81);
            std::vector<uint8_t> bytes = {method, levels, magnitude};
            for (std::size_t i = 0; i < n; ++i) {
                const auto v =
                    written % 2
                        ? static_cast<int16_t>(static_cast<uint16_t>(rng()))
                        : static_cast<int16_t>(30000.0 * std::sin(0.02 * static_cast<double>(i)));
                bytes.push_back(static_cast<uint8_t>(v & 0xFF));
                bytes.push_back(static_cast<uint8_t>(v >> 8 & 0xFF));
            }
            kestova::fuzz::write_seed(*directory, "seed_" + std::to_string(written++), bytes);
        }
    }
    std::printf("wrote %d seeds\n", written);
    return 0;
}
