// One array chunk to one plain Kestova container and back, for every surface that stores chunks
// (the numcodecs and zarr v3 codecs, compress_within, the HDF5 filter, the command): elements go
// in as float32 samples and come back in their own type (element_conversion.h), NaN and
// infinities are refused except a trailing fill run where the surface allows it
// (trailing_fill.h), an error bound is held to by one rule (chunk_bound.h), and a container is
// checked against its chunk from its header before anything is decoded. Failures are texts.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "codec/chunk/chunk_settings.h"
#include "codec/chunk/trailing_fill.h"
#include "codec/element_type.h"

namespace kestova {

template <typename T>
using ChunkResult = std::expected<T, std::string>;

// The container of the elements of `type` in `elements` (native order, any alignment). With
// `omit_trailing_nan` a float chunk's trailing NaN run is left out.
ChunkResult<std::vector<uint8_t>> encode_chunk(std::span<const uint8_t> elements, ElementType type,
                                               const ChunkSettings& settings,
                                               bool omit_trailing_nan);

// The elements the chunk decoded from `container` has, checked from its header alone.
ChunkResult<uint64_t> decoded_chunk_elements(std::span<const uint8_t> container, ElementType type,
                                             ChunkExtent extent);

// Decodes `container` into `out`, decoded_chunk_elements elements of `type`; samples the
// container leaves out are NaN.
ChunkResult<void> decode_chunk_into(std::span<const uint8_t> container, ElementType type,
                                    std::span<uint8_t> out);

// A decoded chunk in its own memory: a float32 chunk as the decoder's samples (no copy), any
// other type as converted elements.
struct DecodedChunk {
    std::vector<float> samples;
    std::vector<uint8_t> elements;
    std::span<const uint8_t> bytes() const;
};
ChunkResult<DecodedChunk> decode_chunk(std::span<const uint8_t> container, ElementType type,
                                       ChunkExtent extent);

}  // namespace kestova
