#include "codec/chunk/element_type.h"

namespace kestova {

const ElementInfo* find_element(ElementType type) {
    for (const ElementInfo& info : kElementTypes) {
        if (info.type == type) return &info;
    }
    return nullptr;
}

ElementType element_type_of(bool is_float, bool is_signed, std::size_t size) {
    for (const ElementInfo& info : kElementTypes) {
        if (info.is_float == is_float && info.is_signed == is_signed && info.size == size) {
            return info.type;
        }
    }
    return ElementType::Unsupported;
}

ElementType element_type_named(std::string_view name) {
    for (const ElementInfo& info : kElementTypes) {
        if (info.name == name) return info.type;
    }
    return ElementType::Unsupported;
}

std::size_t element_size(ElementType type) {
    const ElementInfo* info = find_element(type);
    return info ? info->size : 0;
}

std::string_view element_name(ElementType type) {
    const ElementInfo* info = find_element(type);
    return info ? info->name : "unsupported";
}

bool is_float_type(ElementType type) {
    const ElementInfo* info = find_element(type);
    return info != nullptr && info->is_float;
}

std::string supported_element_names() {
    std::string names;
    for (const ElementInfo& info : kElementTypes) {
        names += (names.empty() ? "" : ", ") + std::string(info.name);
    }
    return names;
}

}  // namespace kestova
