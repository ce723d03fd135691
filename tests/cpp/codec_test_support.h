// Helpers shared by the codec pipeline tests: test signals and header patching.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace kestova::testing_support {

// A smooth signal with some noise, values within about [-3, 5].
inline std::vector<float> test_signal(std::size_t n, uint32_t seed = 1) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = 1.0f + 3.0f * std::sin(0.37f * static_cast<float>(i)) + noise(rng);
    }
    return x;
}

// Overwrites the little-endian value at `offset` of a container.
template <typename T>
void patch(std::vector<uint8_t>& bytes, std::size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof(T));
}

// Reads the little-endian value at `offset` of a container.
template <typename T>
T field(const std::vector<uint8_t>& bytes, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

// Header offsets used by the tests.
inline constexpr std::size_t kLevels = 12, kScale = 13, kCoder = 14, kSampleCount = 16,
                             kSignalMin = 20, kSignalMax = 24, kMean = 28, kPayloadLength = 32;

}  // namespace kestova::testing_support
