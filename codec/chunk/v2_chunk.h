// A chunk as one version-2 stream (codec/v2/) and back, under the chunk layer's rules: the
// chunk's element type is the stream's, a float chunk's trailing NaN run is left out where the
// surface allows it and restored as NaN, and a stream is checked against its chunk (framing,
// checksum, element type, sample count) before anything is decoded. Failures are texts.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "codec/chunk/chunk_settings.h"
#include "codec/element_type.h"

namespace kestova {

// Whether `container` starts as a version-2 stream (its version byte), whatever else it holds.
bool is_v2_stream(std::span<const uint8_t> container);

// The stream of the elements of `type` (native order) held to the settings' target: max_error
// (relative or absolute), else psnr, else exactly (integer chunks only).
std::expected<std::vector<uint8_t>, std::string> encode_v2_chunk(std::span<const uint8_t> elements,
                                                                 ElementType type,
                                                                 const ChunkSettings& settings,
                                                                 bool omit_trailing_nan);

// The samples the stream announces, its framing, checksum and element type checked.
std::expected<uint64_t, std::string> v2_announced(std::span<const uint8_t> container,
                                                  ElementType type);

// Decodes the stream into the first samples of `out` (elements of `type`); the rest are NaN.
std::expected<void, std::string> decode_v2_chunk_into(std::span<const uint8_t> container,
                                                      ElementType type, std::span<uint8_t> out);

}  // namespace kestova
