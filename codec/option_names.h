// The names options give the cutoff levels and the entropy coders, beside their enumerations
// (options.h): the one table that option parsing, the bindings' tables() and everything reading
// names from them share. Method names are in method_table.h, encoder names in encoder.h.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "codec/options.h"

namespace kestova {

template <typename Value>
struct Choice {
    const char* text;
    Value value;
};

inline constexpr std::array<Choice<CutoffLevel>, 3> kCutoffNames{{
    {"low", CutoffLevel::Low},
    {"medium", CutoffLevel::Medium},
    {"high", CutoffLevel::High},
}};
inline constexpr std::array<Choice<EntropyCoder>, 3> kCoderNames{{
    {"deflate", EntropyCoder::Deflate},
    {"arans", EntropyCoder::Arans},
    {"auto", EntropyCoder::Auto},
}};

// The name of `value` in `table`, or nothing when the table has no entry for it.
template <typename Value, std::size_t N>
constexpr std::optional<std::string_view> name_of(Value value,
                                                  const std::array<Choice<Value>, N>& table) {
    for (const auto& choice : table) {
        if (choice.value == value) return choice.text;
    }
    return std::nullopt;
}

}  // namespace kestova
