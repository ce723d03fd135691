// Writes seed inputs for fuzz_tuned into the directory argv[1]: signals of several shapes (sine,
// steps, noise, spikes, tiny and huge amplitudes) at lengths up to 4096 samples, each behind two
// bytes that vary the method, coder and bound.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/fuzz/seed_output.h"

int main(int argc, char** argv) {
    const auto directory = kestova::fuzz::corpus_directory(argc, argv);
    if (!directory) return 2;
    const char* names[] = {"sine", "steps", "noise", "spikes", "tiny", "huge"};
    int written = 0;
    for (int shape = 0; shape < 6; ++shape) {
        for (const std::size_t n : {1u, 9u, 79u, 1000u, 4096u}) {
            std::mt19937 rng(static_cast<uint32_t>(n));
            std::normal_distribution<float> gauss;
            std::vector<float> x(n);
            for (std::size_t i = 0; i < n; ++i) {
                const float t = static_cast<float>(i);
                const float values[] = {std::sin(0.02f * t),
                                        static_cast<float>(i / 300 % 3),
                                        gauss(rng),
                                        i % 211 == 0 ? 30.0f : 0.01f * gauss(rng),
                                        3e-12f * std::sin(0.1f * t),
                                        1e30f * std::cos(0.05f * t)};
                x[i] = values[shape];
            }
            std::vector<uint8_t> bytes(2 + n * sizeof(float));
            bytes[0] = static_cast<uint8_t>(written % 10);
            bytes[1] = static_cast<uint8_t>(written * 7 % 40);
            std::memcpy(bytes.data() + 2, x.data(), n * sizeof(float));
            kestova::fuzz::write_seed(*directory,
                                      std::string(names[shape]) + "-" + std::to_string(n), bytes);
            ++written;
        }
    }
    std::printf("wrote %d seeds\n", written);
    return 0;
}
