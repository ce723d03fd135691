// Elements to float32 samples and back. Going in, every type converts to the nearest float32;
// coming back, float types convert exactly (float32 -> float64 widens) and integer types are
// rounded to nearest (ties to even) and clipped to the type's range, which never moves a value
// further from an element of that type.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

#include "codec/element_type.h"
#include "codec/v2/element_dispatch.h"

namespace kestova {

// Calls `visit(T{})` with T the C++ type of `type`; returns false for Unsupported and Uint32,
// which chunks do not store.
template <typename Visit>
bool with_element_type(ElementType type, Visit&& visit) {
    if (find_element(type) == nullptr) return false;
    v2::with_element_type(type, [&]<typename T>(std::type_identity<T>) { visit(T{}); });
    return true;
}

// Element `i` of `elements` (native order, any alignment).
template <typename T>
T element_at(std::span<const uint8_t> elements, std::size_t i) {
    T value;
    std::memcpy(&value, elements.data() + i * sizeof(T), sizeof(T));
    return value;
}

// The elements of `type` in `elements` as float32, into `out` (one per element).
void to_float32(std::span<const uint8_t> elements, ElementType type, std::span<float> out);

// The samples as elements of `type` into `out` (one element per sample).
void from_float32(std::span<const float> samples, ElementType type, std::span<uint8_t> out);

// The smallest and largest element, and the largest distance between an element and its
// float32 sample (zero for the types float32 holds exactly), over finite elements.
struct ElementSpan {
    double min = 0.0;
    double max = 0.0;
    double narrowing = 0.0;
};
ElementSpan element_span(std::span<const uint8_t> elements, ElementType type,
                         std::span<const float> samples);

}  // namespace kestova
