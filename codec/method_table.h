// The compression methods, one entry each: the name options use, the tag the container header
// records and the executor. A new method is an enumerator of CompressionMethod, an entry here and
// its executor; everything else reads this table.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "codec/options.h"
#include "engine/executor.h"
#include "engine/undra.h"

namespace kestova {

struct MethodEntry {
    CompressionMethod method;
    std::string_view name;
    std::array<uint8_t, 4> tag;
    // A fresh executor on the path the engine selects.
    Undra::SharedDwtExecutor (*make_executor)();
};

// Every method, the default first, in the order messages list them. The filter banks use
// periodic borders.
inline constexpr std::array kMethods{
    MethodEntry{CompressionMethod::Cdf97,
                "cdf97",
                {'c', 'f', '9', '7'},
                [] { return Undra::make_cdf97_f32(); }},
    MethodEntry{CompressionMethod::Cdf53,
                "cdf53",
                {'c', 'f', '5', '3'},
                [] { return Undra::make_cdf53_f32(); }},
    MethodEntry{CompressionMethod::Db4,
                "db4",
                {'d', 'b', '0', '4'},
                [] {
                    return Undra::make_daubechies_f32(Undra::DaubechiesFamily::Db4,
                                                      Undra::BorderMode::Wrap);
                }},
    MethodEntry{
        CompressionMethod::Sym4,
        "sym4",
        {'s', 'y', 'm', '4'},
        [] { return Undra::make_symlet_f32(Undra::SymletFamily::Sym4, Undra::BorderMode::Wrap); }},
};

}  // namespace kestova
