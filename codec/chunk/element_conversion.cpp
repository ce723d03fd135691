#include "codec/chunk/element_conversion.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestova {

namespace {

// True when every value of T is a float32 exactly.
template <typename T>
constexpr bool kExactInFloat32 =
    std::is_same_v<T, float> || (std::is_integral_v<T> && sizeof(T) <= 2);

// Rounded to nearest (ties to even) and clipped to T's range; double holds both ends exactly.
template <typename T>
T rounded_element(float sample) {
    constexpr double low = std::numeric_limits<T>::min();
    constexpr double high = std::numeric_limits<T>::max();
    const double rounded = std::nearbyint(static_cast<double>(sample));
    return static_cast<T>(std::fmin(std::fmax(rounded, low), high));
}

}  // namespace

void to_float32(std::span<const uint8_t> elements, ElementType type, std::span<float> out) {
    with_element_type(type, [&]<typename T>(T) {
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = static_cast<float>(element_at<T>(elements, i));
        }
    });
}

void from_float32(std::span<const float> samples, ElementType type, std::span<uint8_t> out) {
    with_element_type(type, [&]<typename T>(T) {
        for (std::size_t i = 0; i < samples.size(); ++i) {
            T value;
            if constexpr (std::is_floating_point_v<T>) {
                value = static_cast<T>(samples[i]);
            } else {
                value = rounded_element<T>(samples[i]);
            }
            std::memcpy(out.data() + i * sizeof(T), &value, sizeof(T));
        }
    });
}

ElementSpan element_span(std::span<const uint8_t> elements, ElementType type,
                         std::span<const float> samples) {
    ElementSpan span;
    if (samples.empty()) return span;
    with_element_type(type, [&]<typename T>(T) {
        double low = std::numeric_limits<double>::infinity();
        double high = -low;
        double narrowing = 0.0;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const auto value = static_cast<double>(element_at<T>(elements, i));
            low = std::min(low, value);
            high = std::max(high, value);
            if constexpr (!kExactInFloat32<T>) {
                narrowing = std::max(narrowing, std::fabs(value - static_cast<double>(samples[i])));
            }
        }
        span = {low, high, narrowing};
    });
    return span;
}

}  // namespace kestova
