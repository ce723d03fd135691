// The names Python gives the cutoff levels and the entropy coders: the one table that option
// parsing, the codecs' binding and everything reading names from it share.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "codec/options.h"

namespace kestova::python {

template <typename Value>
struct Choice {
    const char* text;
    Value value;
};

inline constexpr std::array<Choice<CutoffLevel>, 3> CUTOFFS{{
    {"low", CutoffLevel::Low},
    {"medium", CutoffLevel::Medium},
    {"high", CutoffLevel::High},
}};
inline constexpr std::array<Choice<EntropyCoder>, 3> CODERS{{
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

}  // namespace kestova::python
