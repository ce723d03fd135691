// Writes seed inputs for fuzz_transforms into the directory argv[1]: every method at one to eight
// levels, on random and smooth signals of several lengths and magnitudes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    std::mt19937 rng(7);
    int written = 0;
    for (uint8_t method = 0; method < 4; ++method) {
        for (const std::size_t n : {10u, 33u, 257u, 2000u}) {
            const auto levels = static_cast<uint8_t>(written % 8);
            const auto magnitude = static_cast<uint8_t>(written * 13 % 81);
            std::vector<char> bytes = {static_cast<char>(method), static_cast<char>(levels),
                                       static_cast<char>(magnitude)};
            for (std::size_t i = 0; i < n; ++i) {
                const auto v =
                    written % 2
                        ? static_cast<int16_t>(static_cast<uint16_t>(rng()))
                        : static_cast<int16_t>(30000.0 * std::sin(0.02 * static_cast<double>(i)));
                bytes.push_back(static_cast<char>(v & 0xFF));
                bytes.push_back(static_cast<char>(v >> 8 & 0xFF));
            }
            std::ofstream(std::string(argv[1]) + "/seed_" + std::to_string(written++),
                          std::ios::binary)
                .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
    }
    std::printf("wrote %d seeds\n", written);
    return 0;
}
