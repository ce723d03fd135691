#include "codec/method_executor.h"

#include <algorithm>
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

Undra::SharedDwtExecutor make_method_executor(CompressionMethod method) {
    switch (method) {
        case CompressionMethod::Cdf53:
            return Undra::make_cdf53_f32();
        case CompressionMethod::Db4:
            return Undra::make_daubechies_f32(Undra::DaubechiesFamily::Db4,
                                              Undra::BorderMode::Wrap);
        case CompressionMethod::Sym4:
            return Undra::make_symlet_f32(Undra::SymletFamily::Sym4, Undra::BorderMode::Wrap);
        case CompressionMethod::Cdf97:
            break;
    }
    return Undra::make_cdf97_f32();
}

}  // namespace kestova
