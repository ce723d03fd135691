// Size limits of the container and its coders, as pure functions of sizes.
#pragma once

#include <cstdint>

#include "codec/error.h"
#include "codec/header.h"
#include "codec/options.h"

namespace kestova {

// The most samples a container holds.
inline constexpr uint32_t kMaxSamples = 2147483647;

// The level counts a container may record.
inline constexpr uint8_t kMinContainerLevels = 1;
inline constexpr uint8_t kMaxContainerLevels = 10;

// The header coder byte for an image of `image_bytes` bytes: Arans's for Arans and Auto,
// Deflate's for Deflate. Past the arans pair limit Auto falls back to deflate and an explicit
// Arans is refused with UnsupportedConfiguration.
KestovaResult<uint8_t> select_coder(EntropyCoder requested, uint64_t image_bytes);

// Refuses (UnsupportedConfiguration) a payload the 32-bit length field cannot record.
KestovaResult<uint32_t> payload_length_field(uint64_t payload_bytes);

// The decoder's checks of a parsed header's sample count and level count, in that order
// (DecompressionFailed), so that a reader of headers refuses what the decoder refuses.
KestovaResult<void> check_container_limits(const KestovaHeader& header);

}  // namespace kestova
