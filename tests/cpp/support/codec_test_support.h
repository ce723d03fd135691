// Helpers shared by the codec pipeline tests: test signals and header patching.
#pragma once

#include <algorithm>
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

// Signal shapes for level-count and precision tests; each spans [-amplitude, amplitude].
enum class Shape { Sine, Steps, Ramp, RandomWalk };
inline constexpr Shape kAllShapes[] = {Shape::Sine, Shape::Steps, Shape::Ramp, Shape::RandomWalk};

inline const char* shape_name(Shape shape) {
    switch (shape) {
        case Shape::Sine:
            return "sine";
        case Shape::Steps:
            return "steps";
        case Shape::Ramp:
            return "ramp";
        case Shape::RandomWalk:
            break;
    }
    return "walk";
}

// `n` samples of `shape`: three sine periods, eight alternating steps, one rising ramp, or a
// walk of uniform steps (seeded, so every run sees the same walk), scaled to the amplitude.
inline std::vector<float> shaped_signal(Shape shape, std::size_t n, double amplitude = 1.0) {
    std::vector<double> x(n);
    std::mt19937 rng(11);
    double walk = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / static_cast<double>(std::max<std::size_t>(n, 2));
        switch (shape) {
            case Shape::Sine:
                x[i] = std::sin(6.0 * 3.141592653589793 * t);
                break;
            case Shape::Steps:
                x[i] = (i * 8 / n) % 2 == 0 ? -1.0 : 1.0;
                break;
            case Shape::Ramp:
                x[i] = 2.0 * t - 1.0;
                break;
            case Shape::RandomWalk:
                walk += static_cast<double>(rng()) / 4294967296.0 - 0.5;
                x[i] = walk;
                break;
        }
    }
    const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    const double centre = (*hi + *lo) / 2.0;
    const double half = *hi > *lo ? (*hi - *lo) / 2.0 : 1.0;
    std::vector<float> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<float>((x[i] - centre) / half * amplitude);
    }
    return out;
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
