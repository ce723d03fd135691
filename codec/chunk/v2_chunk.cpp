#include "codec/chunk/v2_chunk.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "codec/v2/decoder.h"
#include "codec/v2/encoder.h"
#include "codec/v2/format.h"
#include "codec/v2/rate_target.h"

namespace kestova {

namespace {

// The version-2 row of a chunk element type.
std::optional<ElementTypeRow> v2_row(ElementType type) {
    return v2::element_row(type);
}

template <typename Float>
std::size_t float_stored_length(std::span<const uint8_t> elements) {
    const std::size_t count = elements.size() / sizeof(Float);
    const auto at = [&](std::size_t i) {
        Float value;
        std::memcpy(&value, elements.data() + i * sizeof(Float), sizeof(Float));
        return value;
    };
    std::size_t end = count;
    while (end > 0 && std::isnan(at(end - 1))) --end;
    return end == 0 ? count : end;  // an all-NaN chunk is kept whole, and refused
}

// The leading elements to store: all, but a float chunk's trailing NaN run.
std::size_t stored_elements(std::span<const uint8_t> elements, ElementType type) {
    if (type == ElementType::Float32) return float_stored_length<float>(elements);
    if (type == ElementType::Float64) return float_stored_length<double>(elements);
    return elements.size() / v2_row(type)->size;
}

template <typename Float>
void fill_nan(std::span<uint8_t> bytes) {
    constexpr Float nan = std::numeric_limits<Float>::quiet_NaN();
    for (std::size_t at = 0; at + sizeof(Float) <= bytes.size(); at += sizeof(Float)) {
        std::memcpy(bytes.data() + at, &nan, sizeof(Float));
    }
}

}  // namespace

bool is_v2_stream(std::span<const uint8_t> container) {
    return container.size() > 4 && container[4] == v2::kVersion;
}

std::expected<std::vector<uint8_t>, std::string> encode_v2_chunk(std::span<const uint8_t> elements,
                                                                 ElementType type,
                                                                 const ChunkSettings& settings,
                                                                 bool omit_trailing_nan) {
    const auto row = v2_row(type);
    if (!row) {
        return std::unexpected("version-2 streams do not store " + std::string(element_name(type)) +
                               " elements");
    }
    const std::size_t count =
        omit_trailing_nan ? stored_elements(elements, type) : elements.size() / row->size;
    const v2::SampleView samples{row->type, elements.data(), count};
    const bool bounded = settings.bound != BoundKind::None;
    if (!bounded && settings.psnr == 0 && settings.bits_per_sample == 0 && row->is_float) {
        return std::unexpected("version 2 needs max_error, psnr or bits_per_sample for " +
                               std::string(row->name) +
                               " chunks (max_error=0 asks for exact samples)");
    }
    // A bound, else a PSNR, else bits per sample, else exact (integer chunks).
    auto encoded =
        bounded ? v2::encode(samples, {settings.max_error, settings.bound == BoundKind::Relative})
        : settings.psnr > 0 ? v2::encode_psnr(samples, settings.psnr)
        : settings.bits_per_sample > 0
            ? v2::encode_bits_per_sample(samples, settings.bits_per_sample)
            : v2::encode(samples, {0.0, true});
    if (!encoded) return std::unexpected(encoded.error().message());
    return std::move(encoded->stream);
}

namespace {

// The stream's fields, framing and checksum checked, its element type that of the chunk.
std::expected<v2::StreamInfo, std::string> chunk_stream_info(std::span<const uint8_t> container,
                                                             ElementType type) {
    auto info = v2::read_stream_info(container);
    if (!info) return std::unexpected(info.error().message());
    const auto row = v2_row(type);
    if (!row || info->element.type != type) {
        return std::unexpected("the stream holds " + std::string(info->element.name) +
                               " samples, but the chunk " +
                               std::string(row ? row->name : element_name(type)) + " elements");
    }
    return std::move(*info);
}

}  // namespace

std::expected<uint64_t, std::string> v2_announced(std::span<const uint8_t> container,
                                                  ElementType type) {
    const auto info = chunk_stream_info(container, type);
    if (!info) return std::unexpected(info.error());
    return info->sample_count;
}

std::expected<void, std::string> decode_v2_chunk_into(std::span<const uint8_t> container,
                                                      ElementType type, std::span<uint8_t> out) {
    const auto info = chunk_stream_info(container, type);
    if (!info) return std::unexpected(info.error());
    const std::size_t bytes = info->sample_count * info->element.size;
    if (bytes > out.size()) {
        return std::unexpected(std::string("the stream does not fit its chunk"));
    }
    if (auto decoded = v2::decode_into(*info, out.first(bytes)); !decoded) {
        return std::unexpected(decoded.error().message());
    }
    // Samples left out at encoding were a trailing run of NaN (float types only).
    if (type == ElementType::Float32) fill_nan<float>(out.subspan(bytes));
    if (type == ElementType::Float64) fill_nan<double>(out.subspan(bytes));
    return {};
}

}  // namespace kestova
