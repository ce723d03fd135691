// kestova_options to the codec's chunk settings, refusing values no surface accepts.
#pragma once

#include <expected>

#include "capi/boundary.h"
#include "codec/chunk/chunk_settings.h"
#include "kestova/kestova.h"

namespace kestova::capi {

// The settings of `options` (the defaults for NULL), or the refusal of an unknown value, an
// unsupported scale or stream version, or a combination check_chunk_settings refuses.
std::expected<ChunkSettings, Outcome> settings_of(const kestova_options* options);

}  // namespace kestova::capi
