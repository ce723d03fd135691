#include "codec/chunk/chunk_codec.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "codec/chunk/chunk_bound.h"
#include "codec/chunk/element_conversion.h"
#include "codec/chunk/reference_search.h"
#include "codec/chunk/sample_checks.h"
#include "codec/chunk/v2_chunk.h"
#include "codec/compressor.h"
#include "codec/decompressor.h"
#include "codec/element_type.h"
#include "codec/header.h"
#include "codec/tuned/tuned_compressor.h"

namespace kestova {

namespace {

constexpr std::string_view kTunedFinest = "scale 12, tuned encoder, corrected";
constexpr std::string_view kReferenceFinest = "scale 12, cutoff 'low'";

std::string unsupported_type() {
    return "the element type is not one Kestova stores (" + supported_element_names() + ")";
}

// The refusal of a type that a chunk in `format` does not store.
std::string unstored_type(ElementType type, uint8_t format) {
    const auto row = v2::element_row(type);
    if (format != 2 && row) {
        return std::string(row->name) + " elements are stored in version-2 streams only";
    }
    return unsupported_type();
}

// Bytes per element of `type` in a chunk written in `format`: version 2 also stores types that
// version-1 chunks do not (uint32); 0 for a type the format does not store.
std::size_t stored_element_size(ElementType type, uint8_t format) {
    if (format == 2) {
        const auto row = v2::element_row(type);
        return row ? row->size : 0;
    }
    return element_size(type);
}

// The elements' float32 samples: the elements themselves when they are aligned float32, else
// converted into `converted`.
std::span<const float> samples_of(std::span<const uint8_t> elements, ElementType type,
                                  std::vector<float>& converted) {
    const std::size_t count = elements.size() / element_size(type);
    const bool aligned = reinterpret_cast<std::uintptr_t>(elements.data()) % alignof(float) == 0;
    if (type == ElementType::Float32 && aligned) {
        return {reinterpret_cast<const float*>(elements.data()), count};
    }
    converted.resize(count);
    to_float32(elements, type, converted);
    return converted;
}

ChunkResult<std::vector<uint8_t>> text_error(const KestovaError& error) {
    return std::unexpected(error.message());
}

// The container of finite, scalable `samples` held to the settings' bound on `elements`.
ChunkResult<std::vector<uint8_t>> encode_bounded(std::span<const uint8_t> elements,
                                                 ElementType type, std::span<const float> samples,
                                                 const ChunkSettings& settings) {
    const ElementSpan span = element_span(elements, type, samples);
    const double width = span.max - span.min;
    const bool relative = settings.bound == BoundKind::Relative;
    const double absolute = relative ? settings.max_error * width : settings.max_error;
    UnmetBound unmet{.max_error = settings.max_error,
                     .relative = relative,
                     .span = width,
                     .bound = sample_bound(type, absolute, span.narrowing),
                     .margin = 0.0,
                     .setting = {},
                     .reached = 0.0};
    if (!samples.empty()) {
        const auto [low, high] = std::ranges::minmax(samples);
        unmet.margin = path_margin(low, high);
    }
    if (unmet.bound.samples < 0) {
        unmet.reached = span.narrowing;
        return std::unexpected(unmet_message(unmet));
    }
    if (settings.encoder == Encoder::Tuned) {
        const auto method = settings.choose_method
                                ? std::nullopt
                                : std::optional<CompressionMethod>(settings.options.method);
        auto encoded =
            encode_within(samples, {unmet.bound.samples, false}, method, settings.options.coder);
        if (!encoded) return text_error(encoded.error());
        if (!encoded->container.empty()) return std::move(encoded->container);
        unmet.setting = kTunedFinest;
        unmet.reached = encoded->max_error;
        return std::unexpected(unmet_message(unmet));
    }
    const double held = std::max(0.0, unmet.bound.samples - unmet.margin);
    auto searched = reference_within(samples, held, settings.options);
    if (!searched) return text_error(searched.error());
    if (!searched->container.empty()) return std::move(searched->container);
    unmet.setting = kReferenceFinest;
    unmet.reached = searched->max_error;
    return std::unexpected(unmet_message(unmet));
}

}  // namespace

ChunkResult<std::vector<uint8_t>> encode_chunk(std::span<const uint8_t> elements, ElementType type,
                                               const ChunkSettings& settings,
                                               bool omit_trailing_nan) {
    const std::size_t size = stored_element_size(type, settings.format);
    if (size == 0) return std::unexpected(unstored_type(type, settings.format));
    if (const auto checked = check_chunk_settings(settings); !checked) {
        return std::unexpected(checked.error());
    }
    if (elements.size() % size != 0) {
        return std::unexpected("a chunk of " + std::to_string(elements.size()) +
                               " bytes holds no whole number of " +
                               std::string(v2::element_row(type)->name) + " elements");
    }
    if (settings.format == 2) return encode_v2_chunk(elements, type, settings, omit_trailing_nan);
    std::vector<float> converted;
    std::span<const float> samples = samples_of(elements, type, converted);
    if (omit_trailing_nan) {
        samples = samples.first(stored_length(samples, type));
        elements = elements.first(samples.size() * size);
    }
    if (const NonFinite non_finite = find_non_finite(samples); non_finite.count > 0) {
        return std::unexpected(non_finite_refusal(non_finite));
    }
    if (auto refusal = unscalable_range(samples)) return std::unexpected(std::move(*refusal));
    if (settings.bound != BoundKind::None) {
        return encode_bounded(elements, type, samples, settings);
    }
    auto container = settings.encoder == Encoder::Tuned ? compress_tuned(samples, settings.options)
                                                        : compress(samples, settings.options);
    if (!container) return text_error(container.error());
    return std::move(*container);
}

ChunkResult<uint64_t> decoded_chunk_elements(std::span<const uint8_t> container, ElementType type,
                                             ChunkExtent extent) {
    const uint8_t format = is_v2_stream(container) ? 2 : 1;
    if (stored_element_size(type, format) == 0) {
        return std::unexpected(unstored_type(type, format));
    }
    uint64_t announced = 0;
    if (format == 2) {
        const auto count = v2_announced(container, type);
        if (!count) return std::unexpected(count.error());
        announced = *count;
    } else {
        const auto header = KestovaHeader::from_bytes(container);
        if (!header) return std::unexpected(header.error().message());
        announced = header->sample_count;
    }
    const auto checked = check_announced(announced, extent, type);
    if (!checked) return std::unexpected(checked.error());
    return decoded_elements(announced, extent);
}

ChunkResult<void> decode_chunk_into(std::span<const uint8_t> container, ElementType type,
                                    std::span<uint8_t> out) {
    if (is_v2_stream(container)) return decode_v2_chunk_into(container, type, out);
    auto samples = decompress(container);
    if (!samples) return std::unexpected(samples.error().message());
    const std::size_t size = element_size(type);
    const std::size_t elements = size == 0 ? 0 : out.size() / size;
    if (size == 0 || samples->size() > elements) {
        return std::unexpected(std::string("the container does not fit its chunk"));
    }
    // Samples left out at encoding were a trailing run of NaN (float types only).
    samples->resize(elements, std::numeric_limits<float>::quiet_NaN());
    from_float32(*samples, type, out);
    return {};
}

std::span<const uint8_t> DecodedChunk::bytes() const {
    if (!elements.empty()) return elements;
    return {reinterpret_cast<const uint8_t*>(samples.data()), samples.size() * sizeof(float)};
}

ChunkResult<DecodedChunk> decode_chunk(std::span<const uint8_t> container, ElementType type,
                                       ChunkExtent extent) {
    const auto count = decoded_chunk_elements(container, type, extent);
    if (!count) return std::unexpected(count.error());
    DecodedChunk decoded;
    if (is_v2_stream(container)) {
        decoded.elements.resize(*count * stored_element_size(type, 2));
        auto into = decode_v2_chunk_into(container, type, decoded.elements);
        if (!into) return std::unexpected(into.error());
        return decoded;
    }
    auto samples = decompress(container);
    if (!samples) return std::unexpected(samples.error().message());
    samples->resize(*count, std::numeric_limits<float>::quiet_NaN());
    if (type == ElementType::Float32) {
        decoded.samples = std::move(*samples);
    } else {
        decoded.elements.resize(*count * element_size(type));
        from_float32(*samples, type, decoded.elements);
    }
    return decoded;
}

}  // namespace kestova
