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

#include "codec/encoder.h"
#include "codec/options.h"

namespace kestova::hdf5 {

// HDF5 filter ids 256 to 511 are for testing; this one changes once a permanent id is assigned
// (docs/hdf5-filter.md).
inline constexpr int kFilterId = 421;
inline constexpr const char* kFilterName = "kestova";

// The layout version the first value records; a pipeline with no values at all means defaults.
inline constexpr unsigned kLayoutVersion = 1;

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

enum class BoundKind : uint8_t { None = 0, Relative = 1, Absolute = 2 };

// The element types a chunk may hold, as set_local records them; Unsupported makes every chunk
// fail (an optional filter then stores it raw).
enum class ElementType : uint8_t {
    Unsupported = 0,
    Float32 = 1,
    Float64 = 2,
    Int8 = 3,
    Int16 = 4,
    Int32 = 5,
    Uint8 = 6,
    Uint16 = 7,
};

// An error bound is met by the tuned encoder's closed loop (compress_bounded), so it goes with
// Encoder::Tuned only; scale and cutoff are then left at their defaults, and the method may be
// chosen for each chunk.
struct FilterSettings {
    CompressionOptions options;
    bool choose_method = false;  // options.method is unused when set
    Encoder encoder = Encoder::Reference;
    BoundKind bound = BoundKind::None;
    double max_error = 0.0;  // meaningful when bound is not None
};

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

// The element type of an HDF5 integer or float type of `size` bytes (`is_float`, `is_signed`).
ElementType element_type_of(bool is_float, bool is_signed, std::size_t size);

// Bytes per element (0 for Unsupported) and the type's NumPy-style name.
std::size_t element_size(ElementType type);
std::string_view element_name(ElementType type);

}  // namespace kestova::hdf5
