// One HDF5 chunk to one plain Kestova container and back: the elements go in as float32 and come
// back in their own type (integers rounded to nearest and clipped), NaN and infinities are
// refused except a chunk's trailing run of NaN (fill-value padding, left out of the container
// and restored, as the zarr codec does), and a container is checked against its chunk's size
// before anything is decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "hdf5_filter/filter_values.h"

namespace kestova::hdf5 {

// The container of the chunk whose elements of `type` are the bytes `chunk` (native order);
// an error text for an unsupported type, a size that is no whole number of elements, NaN or
// infinities, or a codec failure.
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
