#include "codec/method_executor.h"

#include <algorithm>
#include <string>
#include <string_view>

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

Undra::SharedDwtExecutor make_method_executor(CompressionMethod method,
                                              std::optional<Undra::Isa> isa) {
    return entry_of(method).make_executor(isa);
}

std::string_view isa_name(Undra::Isa isa) {
    switch (isa) {
        case Undra::Isa::Sse:
            return "sse";
        case Undra::Isa::Avx:
            return "avx";
        case Undra::Isa::Portable:
            break;
    }
    return "portable";
}

std::optional<Undra::Isa> isa_from_name(std::string_view name) {
    for (const Undra::Isa isa : {Undra::Isa::Portable, Undra::Isa::Sse, Undra::Isa::Avx}) {
        if (isa_name(isa) == name) return isa;
    }
    return std::nullopt;
}

KestovaResult<void> require_isa(Undra::Isa isa) {
    if (Undra::isa_supported(isa)) return {};
    return std::unexpected(KestovaError::unsupported_configuration(
        "This processor cannot run the " + std::string(isa_name(isa)) + " path"));
}

}  // namespace kestova
