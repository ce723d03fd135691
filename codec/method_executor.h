// Lookups in the method table (method_table.h).
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "codec/options.h"
#include "engine/executor.h"

namespace kestova {

// True for the methods of the table.
bool is_known_method(CompressionMethod method);

// The four-byte header tag of a known `method`.
std::array<uint8_t, 4> method_tag(CompressionMethod method);

// The method a header tag names, or nothing when no method has that tag.
std::optional<CompressionMethod> method_from_tag(const std::array<uint8_t, 4>& tag);

// A fresh executor for a known `method`, on the path the engine selects.
Undra::SharedDwtExecutor make_method_executor(CompressionMethod method);

}  // namespace kestova
