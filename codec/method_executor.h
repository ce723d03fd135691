// Lookups in the method table (method_table.h), and the executor paths.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "codec/error.h"
#include "codec/options.h"
#include "engine/executor.h"
#include "engine/util.h"

namespace kestova {

// True for the methods of the table.
bool is_known_method(CompressionMethod method);

// The four-byte header tag of a known `method`.
std::array<uint8_t, 4> method_tag(CompressionMethod method);

// The method a header tag names, or nothing when no method has that tag.
std::optional<CompressionMethod> method_from_tag(const std::array<uint8_t, 4>& tag);

// A fresh executor for a known `method` on the path `isa` (this processor's best when empty; the
// caller checks that the processor supports it).
Undra::SharedDwtExecutor make_method_executor(CompressionMethod method,
                                              std::optional<Undra::Isa> isa = std::nullopt);

// The lower-case name of an executor path ("portable", "sse", "avx").
std::string_view isa_name(Undra::Isa isa);

// The executor path that isa_name gives `name`, or nothing.
std::optional<Undra::Isa> isa_from_name(std::string_view name);

// UnsupportedConfiguration when this processor cannot run the executor path `isa`.
KestovaResult<void> require_isa(Undra::Isa isa);

}  // namespace kestova
