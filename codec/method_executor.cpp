#include "codec/method_executor.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "engine/undra.h"

namespace kestova {

namespace {

// Four characters per method code, in code order.
constexpr std::string_view kMethodTags = "cf53cf97db04sym4";
constexpr std::size_t kMethodCount = kMethodTags.size() / 4;

}  // namespace

bool is_known_method(CompressionMethod method) {
    return static_cast<std::size_t>(method) < kMethodCount;
}

std::array<uint8_t, 4> method_tag(CompressionMethod method) {
    const auto code = static_cast<std::size_t>(method);
    std::array<uint8_t, 4> tag{};
    std::copy_n(kMethodTags.begin() + 4 * code, 4, tag.begin());
    return tag;
}

std::optional<CompressionMethod> method_from_tag(const std::array<uint8_t, 4>& tag) {
    for (std::size_t code = 0; code < kMethodCount; ++code) {
        if (std::equal(tag.begin(), tag.end(), kMethodTags.begin() + 4 * code)) {
            return static_cast<CompressionMethod>(code);
        }
    }
    return std::nullopt;
}

Undra::SharedDwtExecutor make_method_executor(CompressionMethod method,
                                              std::optional<Undra::Isa> isa) {
    constexpr auto kWrap = Undra::BorderMode::Wrap;
    switch (method) {
        case CompressionMethod::Cdf53:
            return isa ? Undra::make_cdf53_f32(*isa) : Undra::make_cdf53_f32();
        case CompressionMethod::Db4: {
            constexpr auto kDb4 = Undra::DaubechiesFamily::Db4;
            return isa ? Undra::make_daubechies_f32(kDb4, kWrap, *isa)
                       : Undra::make_daubechies_f32(kDb4, kWrap);
        }
        case CompressionMethod::Sym4: {
            constexpr auto kSym4 = Undra::SymletFamily::Sym4;
            return isa ? Undra::make_symlet_f32(kSym4, kWrap, *isa)
                       : Undra::make_symlet_f32(kSym4, kWrap);
        }
        case CompressionMethod::Cdf97:
            break;
    }
    return isa ? Undra::make_cdf97_f32(*isa) : Undra::make_cdf97_f32();
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
