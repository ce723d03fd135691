// The sample types a version-2 stream records and gives back: one row each, so adding a type is
// adding a row (and an instantiation in element_dispatch.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestova::v2 {

enum class ElementType : uint8_t {
    Float32 = 1,
    Float64 = 2,
    Int8 = 3,
    UInt8 = 4,
    Int16 = 5,
    UInt16 = 6,
    Int32 = 7,
    UInt32 = 8,
};

struct ElementTypeRow {
    ElementType type;
    std::string_view name;  // as NumPy spells the dtype
    std::size_t size;       // bytes per sample
    bool integer;
    double lowest;
    double highest;
};

inline constexpr std::array<ElementTypeRow, 8> kElementTypes{{
    {ElementType::Float32, "float32", 4, false, 0.0, 0.0},
    {ElementType::Float64, "float64", 8, false, 0.0, 0.0},
    {ElementType::Int8, "int8", 1, true, -128.0, 127.0},
    {ElementType::UInt8, "uint8", 1, true, 0.0, 255.0},
    {ElementType::Int16, "int16", 2, true, -32768.0, 32767.0},
    {ElementType::UInt16, "uint16", 2, true, 0.0, 65535.0},
    {ElementType::Int32, "int32", 4, true, -2147483648.0, 2147483647.0},
    {ElementType::UInt32, "uint32", 4, true, 0.0, 4294967295.0},
}};

// The row of a type byte, or nothing for a byte no row has.
inline std::optional<ElementTypeRow> element_row(uint8_t byte) {
    for (const auto& row : kElementTypes) {
        if (static_cast<uint8_t>(row.type) == byte) return row;
    }
    return std::nullopt;
}

inline std::optional<ElementTypeRow> element_row(std::string_view name) {
    for (const auto& row : kElementTypes) {
        if (row.name == name) return row;
    }
    return std::nullopt;
}

}  // namespace kestova::v2
