// One HDF5 chunk to one plain Kestova container and back: the chunk layer's rules
// (codec/chunk/chunk_codec.h) with what HDF5 adds. HDF5 always hands the filter a whole chunk, a
// partial edge chunk padded with the fill value, so a float chunk's trailing NaN run is left out
// of the container and restored, as the zarr codec does; and every message starts with
// "kestova filter: ", which HDF5's error stack shows without saying whose it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "hdf5_filter/filter_values.h"

namespace kestova::hdf5 {

// The container of the chunk whose elements of `type` are the bytes `chunk` (native order).
std::expected<std::vector<uint8_t>, std::string> encode_chunk(std::span<const uint8_t> chunk,
                                                              ElementType type,
                                                              const FilterSettings& settings);

// The bytes the chunk of `chunk_elements` elements of `type` takes, after checking the header
// of `container` against it; reads the header only.
std::expected<std::size_t, std::string> decoded_size(std::span<const uint8_t> container,
                                                     ElementType type, uint64_t chunk_elements);

// Decodes `container` into `out`, whose size decoded_size gave.
std::expected<void, std::string> decode_chunk(std::span<const uint8_t> container, ElementType type,
                                              std::span<uint8_t> out);

}  // namespace kestova::hdf5
