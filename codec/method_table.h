// The compression methods, one entry each: the name options use, the tag the container header
// records and the executor. A new method is an enumerator of CompressionMethod, an entry here and
// its executor; everything else reads this table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "codec/options.h"
#include "engine/executor.h"
#include "engine/undra.h"
#include "engine/util.h"

namespace kestova {

struct MethodEntry {
    CompressionMethod method;
    std::string_view name;
    std::array<uint8_t, 4> tag;
    // A fresh executor on the path `isa`, or on this processor's best path when empty.
    Undra::SharedDwtExecutor (*make_executor)(std::optional<Undra::Isa> isa);
};

// Every method, the default first, in the order messages list them. The filter banks use
// periodic borders.
inline constexpr std::array kMethods{
    MethodEntry{CompressionMethod::Cdf97,
                "cdf97",
                {'c', 'f', '9', '7'},
                [](std::optional<Undra::Isa> isa) {
                    return isa ? Undra::make_cdf97_f32(*isa) : Undra::make_cdf97_f32();
                }},
    MethodEntry{CompressionMethod::Cdf53,
                "cdf53",
                {'c', 'f', '5', '3'},
                [](std::optional<Undra::Isa> isa) {
                    return isa ? Undra::make_cdf53_f32(*isa) : Undra::make_cdf53_f32();
                }},
    MethodEntry{CompressionMethod::Db4,
                "db4",
                {'d', 'b', '0', '4'},
                [](std::optional<Undra::Isa> isa) {
                    constexpr auto kDb4 = Undra::DaubechiesFamily::Db4;
                    constexpr auto kWrap = Undra::BorderMode::Wrap;
                    return isa ? Undra::make_daubechies_f32(kDb4, kWrap, *isa)
                               : Undra::make_daubechies_f32(kDb4, kWrap);
                }},
    MethodEntry{CompressionMethod::Sym4,
                "sym4",
                {'s', 'y', 'm', '4'},
                [](std::optional<Undra::Isa> isa) {
                    constexpr auto kSym4 = Undra::SymletFamily::Sym4;
                    constexpr auto kWrap = Undra::BorderMode::Wrap;
                    return isa ? Undra::make_symlet_f32(kSym4, kWrap, *isa)
                               : Undra::make_symlet_f32(kSym4, kWrap);
                }},
};

}  // namespace kestova
