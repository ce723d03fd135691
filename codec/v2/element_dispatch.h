// Calls a generic body with the C++ type of a recorded element type.
#pragma once

#include <cstdint>
#include <type_traits>

#include "codec/element_type.h"

namespace kestova::v2 {

template <typename Body>
decltype(auto) with_element_type(ElementType type, Body&& body) {
    switch (type) {
        case ElementType::Float32:
            return body(std::type_identity<float>{});
        case ElementType::Float64:
            return body(std::type_identity<double>{});
        case ElementType::Int8:
            return body(std::type_identity<int8_t>{});
        case ElementType::Uint8:
            return body(std::type_identity<uint8_t>{});
        case ElementType::Int16:
            return body(std::type_identity<int16_t>{});
        case ElementType::Uint16:
            return body(std::type_identity<uint16_t>{});
        case ElementType::Int32:
            return body(std::type_identity<int32_t>{});
        case ElementType::Uint32:
        case ElementType::Unsupported:  // no row has it, so no sample view does
            break;
    }
    return body(std::type_identity<uint32_t>{});
}

}  // namespace kestova::v2
