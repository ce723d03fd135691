// The sample types Kestova stores: one row each, with the number each format records for it.
// Array chunks hold them as float32 samples in one container; version-2 streams keep them as given.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestova {

// The numbers are recorded in HDF5 filter values (and are the C API's): never renumber a type,
// add new ones at the end. Uint32 has its number only here: chunks do not store it.
enum class ElementType : uint8_t {
    Unsupported = 0,
    Float32 = 1,
    Float64 = 2,
    Int8 = 3,
    Int16 = 4,
    Int32 = 5,
    Uint8 = 6,
    Uint16 = 7,
    Uint32 = 8,
};

struct ElementTypeRow {
    ElementType type;       // its number is the HDF5 filter value, where `in_chunks`
    std::string_view name;  // as NumPy names the type
    std::size_t size;       // bytes per sample
    bool is_float;
    bool is_signed;
    double lowest;  // an integer type's range; 0 for float types
    double highest;
    bool in_chunks;   // whether array chunks (and so HDF5 filter values) store the type
    uint8_t v2_byte;  // the type byte of a version-2 stream: never renumber
};

// Every type, in the order messages list them.
inline constexpr std::array<ElementTypeRow, 8> kElementTypes{{
    {ElementType::Float32, "float32", 4, true, true, 0.0, 0.0, true, 1},
    {ElementType::Float64, "float64", 8, true, true, 0.0, 0.0, true, 2},
    {ElementType::Int8, "int8", 1, false, true, -128.0, 127.0, true, 3},
    {ElementType::Int16, "int16", 2, false, true, -32768.0, 32767.0, true, 5},
    {ElementType::Int32, "int32", 4, false, true, -2147483648.0, 2147483647.0, true, 7},
    {ElementType::Uint8, "uint8", 1, false, false, 0.0, 255.0, true, 4},
    {ElementType::Uint16, "uint16", 2, false, false, 0.0, 65535.0, true, 6},
    {ElementType::Uint32, "uint32", 4, false, false, 0.0, 4294967295.0, false, 8},
}};

// The rows chunks store, in the same order.
inline constexpr auto kChunkElementTypes = [] {
    constexpr std::size_t count = [] {
        std::size_t n = 0;
        for (const ElementTypeRow& row : kElementTypes) n += row.in_chunks ? 1 : 0;
        return n;
    }();
    std::array<ElementTypeRow, count> rows{};
    std::size_t next = 0;
    for (const ElementTypeRow& row : kElementTypes) {
        if (row.in_chunks) rows[next++] = row;
    }
    return rows;
}();

// Lookups for chunks: they see only the rows chunks store.
// The row of `type`; nullptr for Unsupported, types chunks do not store and numbers no type has.
const ElementTypeRow* find_element(ElementType type);

// The type of `size` bytes with these properties, or the one named `name`; Unsupported if none.
ElementType element_type_of(bool is_float, bool is_signed, std::size_t size);
ElementType element_type_named(std::string_view name);

// Bytes per element (0 for Unsupported), the type's name, and whether it is a float type.
std::size_t element_size(ElementType type);
std::string_view element_name(ElementType type);
bool is_float_type(ElementType type);

// "float32, float64, int8, int16, int32, uint8, uint16".
std::string supported_element_names();

}  // namespace kestova

namespace kestova::v2 {

// Lookups for version-2 streams, which store every type: by type, stream byte or name.
std::optional<ElementTypeRow> element_row(ElementType type);
std::optional<ElementTypeRow> element_row(uint8_t byte);
std::optional<ElementTypeRow> element_row(std::string_view name);

}  // namespace kestova::v2
