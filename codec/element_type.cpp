#include "codec/element_type.h"

namespace kestova {

const ElementTypeRow* find_element(ElementType type) {
    for (const ElementTypeRow& info : kChunkElementTypes) {
        if (info.type == type) return &info;
    }
    return nullptr;
}

ElementType element_type_of(bool is_float, bool is_signed, std::size_t size) {
    for (const ElementTypeRow& info : kChunkElementTypes) {
        if (info.is_float == is_float && info.is_signed == is_signed && info.size == size) {
            return info.type;
        }
    }
    return ElementType::Unsupported;
}

ElementType element_type_named(std::string_view name) {
    for (const ElementTypeRow& info : kChunkElementTypes) {
        if (info.name == name) return info.type;
    }
    return ElementType::Unsupported;
}

std::size_t element_size(ElementType type) {
    const ElementTypeRow* info = find_element(type);
    return info ? info->size : 0;
}

std::string_view element_name(ElementType type) {
    const ElementTypeRow* info = find_element(type);
    return info ? info->name : "unsupported";
}

bool is_float_type(ElementType type) {
    const ElementTypeRow* info = find_element(type);
    return info != nullptr && info->is_float;
}

std::string supported_element_names() {
    std::string names;
    for (const ElementTypeRow& info : kChunkElementTypes) {
        names += (names.empty() ? "" : ", ") + std::string(info.name);
    }
    return names;
}

}  // namespace kestova

namespace kestova::v2 {

std::optional<ElementTypeRow> element_row(ElementType type) {
    for (const ElementTypeRow& row : kElementTypes) {
        if (row.type == type) return row;
    }
    return std::nullopt;
}

std::optional<ElementTypeRow> element_row(uint8_t byte) {
    for (const ElementTypeRow& row : kElementTypes) {
        if (row.v2_byte == byte) return row;
    }
    return std::nullopt;
}

std::optional<ElementTypeRow> element_row(std::string_view name) {
    for (const ElementTypeRow& row : kElementTypes) {
        if (row.name == name) return row;
    }
    return std::nullopt;
}

}  // namespace kestova::v2
