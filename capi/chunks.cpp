// Array chunks through the C interface: the chunk layer's rules (codec/chunk) for every element
// type, as the numcodecs and zarr codecs and the HDF5 filter apply them.
#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "capi/boundary.h"
#include "capi/settings.h"
#include "codec/chunk/chunk_codec.h"

namespace kestova::capi {

namespace {

// The C enumerators are the chunk layer's numbers, so that a value converts by a cast.
static_assert(KESTOVA_FLOAT32 == int(ElementType::Float32) &&
              KESTOVA_FLOAT64 == int(ElementType::Float64) &&
              KESTOVA_INT8 == int(ElementType::Int8) && KESTOVA_INT16 == int(ElementType::Int16) &&
              KESTOVA_INT32 == int(ElementType::Int32) &&
              KESTOVA_UINT8 == int(ElementType::Uint8) &&
              KESTOVA_UINT16 == int(ElementType::Uint16) &&
              KESTOVA_UINT32 == int(ElementType::Uint32));
static_assert(KESTOVA_FILL_EXACT == int(ChunkFill::Exact) &&
              KESTOVA_FILL_TRAILING_NAN == int(ChunkFill::TrailingNaN) &&
              KESTOVA_FILL_AT_MOST == int(ChunkFill::AtMost));

// The row of a C enumerator: any type some stream version stores (the chunk functions refuse
// a type the stream's version does not); nothing for a number that is none.
std::optional<ElementTypeRow> row_of(int type) {
    if (type <= 0 || type > 255) return std::nullopt;
    return v2::element_row(static_cast<ElementType>(type));
}

// The element type of a C enumerator; Unsupported for a number that is none.
ElementType element_type_of(int type) {
    const auto row = row_of(type);
    return row ? row->type : ElementType::Unsupported;
}

// Bytes per element of a C enumerator; 0 for a number that is none.
std::size_t size_of(int type) {
    const auto row = row_of(type);
    return row ? row->size : 0;
}

std::expected<ChunkExtent, Outcome> extent_of(uint64_t elements, int fill) {
    if (fill < KESTOVA_FILL_EXACT || fill > KESTOVA_FILL_AT_MOST) {
        return std::unexpected(
            failure(KESTOVA_ERROR_INVALID_ARGUMENT, "unknown chunk fill " + std::to_string(fill)));
    }
    return ChunkExtent{elements, static_cast<ChunkFill>(fill)};
}

Outcome unknown_type(int type) {
    std::string names;
    for (const ElementTypeRow& row : kElementTypes) {
        names += (names.empty() ? "" : ", ") + std::string(row.name);
    }
    return failure(KESTOVA_ERROR_INVALID_ARGUMENT,
                   "unknown element type " + std::to_string(type) + "; supported: " + names);
}

// The elements the chunk decodes into, checked from the header.
std::expected<std::size_t, Outcome> chunk_elements(const uint8_t* stream, std::size_t size,
                                                   ElementType type, uint64_t elements, int fill) {
    const auto extent = extent_of(elements, fill);
    if (!extent) return std::unexpected(extent.error());
    const auto decoded = decoded_chunk_elements({stream, size}, type, *extent);
    if (!decoded) return std::unexpected(failure(KESTOVA_ERROR_REFUSED, decoded.error()));
    return static_cast<std::size_t>(*decoded);
}

}  // namespace

}  // namespace kestova::capi

using namespace kestova;
using namespace kestova::capi;

extern "C" {

size_t kestova_element_size(int type) {
    return size_of(type);
}

kestova_status kestova_chunk_encode(const void* elements, size_t count, int type,
                                    const kestova_options* options, int omit_trailing_nan,
                                    uint8_t** out, size_t* out_size, kestova_error* error) {
    return guarded(error, [&]() -> Outcome {
        if (elements == nullptr && count != 0) return null_pointer("elements");
        if (out == nullptr || out_size == nullptr) return null_pointer("out");
        const ElementType element = element_type_of(type);
        if (element == ElementType::Unsupported) return unknown_type(type);
        const auto settings = settings_of(options);
        if (!settings) return settings.error();
        const std::span<const uint8_t> bytes(static_cast<const uint8_t*>(elements),
                                             count * size_of(type));
        const auto encoded = encode_chunk(bytes, element, *settings, omit_trailing_nan != 0);
        if (!encoded) return failure(KESTOVA_ERROR_REFUSED, encoded.error());
        return hand_over<uint8_t>(*encoded, out, out_size);
    });
}

kestova_status kestova_chunk_decoded_elements(const uint8_t* stream, size_t size, int type,
                                              uint64_t elements, int fill, size_t* decoded,
                                              kestova_error* error) {
    return guarded(error, [&]() -> Outcome {
        if (stream == nullptr && size != 0) return null_pointer("stream");
        if (decoded == nullptr) return null_pointer("decoded");
        const ElementType element = element_type_of(type);
        if (element == ElementType::Unsupported) return unknown_type(type);
        const auto count = chunk_elements(stream, size, element, elements, fill);
        if (!count) return count.error();
        *decoded = *count;
        return {};
    });
}

kestova_status kestova_chunk_decode_into(const uint8_t* stream, size_t size, int type,
                                         uint64_t elements, int fill, void* dst, size_t capacity,
                                         size_t* decoded, kestova_error* error) {
    return guarded(error, [&]() -> Outcome {
        if (stream == nullptr && size != 0) return null_pointer("stream");
        if (decoded == nullptr) return null_pointer("decoded");
        if (dst == nullptr && capacity != 0) return null_pointer("dst");
        const ElementType element = element_type_of(type);
        if (element == ElementType::Unsupported) return unknown_type(type);
        const auto count = chunk_elements(stream, size, element, elements, fill);
        if (!count) return count.error();
        if (*count > capacity) {
            *decoded = *count;
            return too_small(capacity, *count, "elements");
        }
        const std::span<uint8_t> out(static_cast<uint8_t*>(dst), *count * size_of(type));
        const auto written = decode_chunk_into({stream, size}, element, out);
        if (!written) return failure(KESTOVA_ERROR_REFUSED, written.error());
        *decoded = *count;
        return {};
    });
}

kestova_status kestova_chunk_decode(const uint8_t* stream, size_t size, int type, uint64_t elements,
                                    int fill, void** out, size_t* decoded, kestova_error* error) {
    return guarded(error, [&]() -> Outcome {
        if (stream == nullptr && size != 0) return null_pointer("stream");
        if (out == nullptr || decoded == nullptr) return null_pointer("out");
        const ElementType element = element_type_of(type);
        if (element == ElementType::Unsupported) return unknown_type(type);
        const auto extent = extent_of(elements, fill);
        if (!extent) return extent.error();
        const auto chunk = decode_chunk({stream, size}, element, *extent);
        if (!chunk) return failure(KESTOVA_ERROR_REFUSED, chunk.error());
        uint8_t* memory = nullptr;
        std::size_t bytes = 0;
        if (const Outcome copied = hand_over<uint8_t>(chunk->bytes(), &memory, &bytes);
            copied.code != KESTOVA_OK) {
            return copied;
        }
        *out = memory;
        *decoded = bytes / size_of(type);
        return {};
    });
}

}  // extern "C"
