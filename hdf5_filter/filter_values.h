// The HDF5 filter's identity and its cd_values layout: what a dataset's filter pipeline records
// about Kestova's settings, the element type and the chunk size. Shared by the plugin and the
// Python binding, so both read and write the same numbers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "codec/chunk/chunk_settings.h"
#include "codec/element_type.h"

namespace kestova::hdf5 {

using kestova::BoundKind;
using kestova::ElementType;

// HDF5 filter ids 256 to 511 are for testing; this one changes once a permanent id is assigned
// (docs/hdf5-filter.md).
inline constexpr int kFilterId = 421;
inline constexpr const char* kFilterName = "kestova";

// The layout version the first value records; a pipeline with no values at all means defaults.
// Version 1 records settings of version-1 chunks (every file written before version 2);
// version 2 the same slots for version-2 chunks: method, scale, cutoff, coder and encoder hold
// their defaults, and the bound slots a max_error or, with kPsnrBound, a PSNR in dB or, with
// kBitsPerSampleBound, bits per sample.
inline constexpr unsigned kLayoutVersion = 1;
inline constexpr unsigned kV2LayoutVersion = 2;
inline constexpr unsigned kPsnrBound = 3;
inline constexpr unsigned kBitsPerSampleBound = 4;

// Positions of the values in layout version 1. Users give a prefix ending anywhere after the
// version; set_local completes the settings with defaults and writes the last three.
enum Slot : std::size_t {
    kVersionSlot = 0,
    kMethodSlot = 1,       // CompressionMethod, or kMethodChosen
    kScaleSlot = 2,        // 6 to 12
    kCutoffSlot = 3,       // CutoffLevel
    kCoderSlot = 4,        // EntropyCoder
    kEncoderSlot = 5,      // Encoder; absent: Reference (what compress_signal writes)
    kBoundSlot = 6,        // BoundKind
    kBoundLowSlot = 7,     // the bound, a float64: low 32 bits
    kBoundHighSlot = 8,    // and high 32 bits
    kSettingsCount = 9,    // values a user may give
    kElementTypeSlot = 9,  // ElementType, written by set_local
    kChunkLowSlot = 10,    // elements per chunk, written by set_local: low 32 bits
    kChunkHighSlot = 11,   // and high 32 bits
    kValueCount = 12,
};

// The method value that lets the tuned encoder choose the method for each chunk (with an error
// bound only).
inline constexpr unsigned kMethodChosen = 255;

// An error bound is met by the tuned encoder's closed loop, so it goes with Encoder::Tuned only
// in these values; scale and cutoff are then left at their defaults, and the method may be chosen
// for each chunk. The element types and bound kinds are recorded by their numbers.
using FilterSettings = ChunkSettings;

// What a dataset's filter records in full.
struct FilterValues {
    FilterSettings settings;
    ElementType element_type = ElementType::Unsupported;
    uint64_t chunk_elements = 0;
};

// The settings of the first values (none: the defaults); an error text for an unknown layout
// version, a value out of range, or an error bound without the tuned encoder.
std::expected<FilterSettings, std::string> parse_settings(std::span<const unsigned> values);

// Every value of a dataset's pipeline; an error text unless all kValueCount are there and valid.
std::expected<FilterValues, std::string> parse_values(std::span<const unsigned> values);

// The kSettingsCount values recording `settings`.
std::array<unsigned, kSettingsCount> settings_values(const FilterSettings& settings);

// The kValueCount values recording `values`.
std::array<unsigned, kValueCount> all_values(const FilterValues& values);

}  // namespace kestova::hdf5
