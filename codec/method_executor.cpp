#include "codec/method_executor.h"

#include <algorithm>

#include "codec/method_table.h"

namespace kestova {

namespace {

// The entry of `method`; the default's for a value no entry has.
const MethodEntry& entry_of(CompressionMethod method) {
    const auto found = std::ranges::find(kMethods, method, &MethodEntry::method);
    return found != kMethods.end() ? *found : kMethods.front();
}

}  // namespace

bool is_known_method(CompressionMethod method) {
    return std::ranges::find(kMethods, method, &MethodEntry::method) != kMethods.end();
}

std::array<uint8_t, 4> method_tag(CompressionMethod method) {
    return entry_of(method).tag;
}

std::optional<CompressionMethod> method_from_tag(const std::array<uint8_t, 4>& tag) {
    const auto found = std::ranges::find(kMethods, tag, &MethodEntry::tag);
    if (found == kMethods.end()) return std::nullopt;
    return found->method;
}

Undra::SharedDwtExecutor make_method_executor(CompressionMethod method) {
    return entry_of(method).make_executor();
}

}  // namespace kestova
