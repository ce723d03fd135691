// Writes seed inputs for fuzz_compress into the directory argv[1]: signals of several shapes
// (sine, steps, ramp, random walk, noise, spikes, tiny and huge amplitudes, non-finite samples)
// at lengths up to 16,384 samples (64 KiB), enough for eight levels and the wide range-ANS
// context, each behind two option bytes that vary method, coder, cutoff and scale.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/fuzz/check_compress.h"
#include "tests/fuzz/seed_output.h"

namespace {

using Shape = std::function<float(std::size_t, std::mt19937&)>;

// The fuzz input for `x` behind its two option bytes.
std::vector<uint8_t> seed_bytes(uint8_t options, uint8_t scale, const std::vector<float>& x) {
    std::vector<uint8_t> bytes(2 + x.size() * sizeof(float));
    bytes[0] = options;
    bytes[1] = scale;
    std::memcpy(bytes.data() + 2, x.data(), x.size() * sizeof(float));
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const auto directory = kestova::fuzz::corpus_directory(argc, argv);
    if (!directory) return 2;
    std::normal_distribution<float> gauss;
    float walk = 0.0f;
    const std::vector<std::pair<const char*, Shape>> shapes = {
        {"sine",
         [](std::size_t i, std::mt19937&) { return std::sin(0.01f * static_cast<float>(i)); }},
        {"steps", [](std::size_t i, std::mt19937&) { return static_cast<float>(i / 700 % 5); }},
        {"ramp", [](std::size_t i, std::mt19937&) { return 0.001f * static_cast<float>(i); }},
        {"walk", [&](std::size_t, std::mt19937& rng) { return walk += gauss(rng); }},
        {"noise", [&](std::size_t, std::mt19937& rng) { return gauss(rng); }},
        {"spikes", [](std::size_t i, std::mt19937&) { return i % 997 == 0 ? 50.0f : 0.0f; }},
        {"tiny", [](std::size_t i,
                    std::mt19937&) { return 4e-6f * std::sin(0.05f * static_cast<float>(i)); }},
        {"huge", [](std::size_t i,
                    std::mt19937&) { return 1e30f * std::cos(0.02f * static_cast<float>(i)); }},
        {"nonfinite",
         [](std::size_t i, std::mt19937&) {
             return i % 101 == 0   ? std::numeric_limits<float>::quiet_NaN()
                    : i % 103 == 0 ? std::numeric_limits<float>::infinity()
                                   : std::sin(0.1f * static_cast<float>(i));
         }},
    };
    int written = 0;
    for (const auto& [name, shape] : shapes) {
        for (const std::size_t n : {1u, 79u, 1000u, 9000u, 16384u}) {
            std::mt19937 rng(static_cast<uint32_t>(n));
            walk = 0.0f;
            std::vector<float> x(n);
            for (std::size_t i = 0; i < n; ++i) x[i] = shape(i, rng);
            // Steps of 7 spread the seeds over the option sets.
            const auto options = static_cast<uint8_t>(written * 7 % kestova::fuzz::kOptionSets);
            const auto scale = static_cast<uint8_t>(written % 7);
            kestova::fuzz::write_seed(*directory, std::string(name) + "-" + std::to_string(n),
                                      seed_bytes(options, scale, x));
            ++written;
        }
    }
    std::printf("wrote %d seeds\n", written);
    return 0;
}
