// The element types an array chunk may hold, each stored as float32 samples in one container.
// The numbers are recorded in HDF5 filter values: never renumber a type, add new ones at the end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestova {

enum class ElementType : uint8_t {
    Unsupported = 0,
    Float32 = 1,
    Float64 = 2,
    Int8 = 3,
    Int16 = 4,
    Int32 = 5,
    Uint8 = 6,
    Uint16 = 7,
};

struct ElementInfo {
    ElementType type;
    bool is_float;
    bool is_signed;
    std::size_t size;
    std::string_view name;  // as NumPy names the type
};

// Every supported type, in the order messages list them.
inline constexpr std::array kElementTypes{
    ElementInfo{ElementType::Float32, true, true, 4, "float32"},
    ElementInfo{ElementType::Float64, true, true, 8, "float64"},
    ElementInfo{ElementType::Int8, false, true, 1, "int8"},
    ElementInfo{ElementType::Int16, false, true, 2, "int16"},
    ElementInfo{ElementType::Int32, false, true, 4, "int32"},
    ElementInfo{ElementType::Uint8, false, false, 1, "uint8"},
    ElementInfo{ElementType::Uint16, false, false, 2, "uint16"},
};

// The entry of `type`; nullptr for Unsupported and numbers no type has.
const ElementInfo* find_element(ElementType type);

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
