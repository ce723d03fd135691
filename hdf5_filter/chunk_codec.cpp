#include "hdf5_filter/chunk_codec.h"

#include "codec/chunk/chunk_codec.h"
#include "codec/container_limits.h"

namespace kestova::hdf5 {

namespace {

std::string filter_message(const std::string& text) {
    return "kestova filter: " + text;
}

}  // namespace

std::expected<std::vector<uint8_t>, std::string> encode_chunk(std::span<const uint8_t> chunk,
                                                              ElementType type,
                                                              const FilterSettings& settings) {
    FilterSettings used = settings;
    if (used.bound !=
        BoundKind::None) {  // a bound picks scale and cutoff: recorded ones are ignored
        used.options.scale = CompressionOptions{}.scale;
        used.options.cutoff = CompressionOptions{}.cutoff;
    }
    auto container = kestova::encode_chunk(chunk, type, used, true);
    if (!container) return std::unexpected(filter_message(container.error()));
    return std::move(*container);
}

std::expected<std::size_t, std::string> decoded_size(std::span<const uint8_t> container,
                                                     ElementType type, uint64_t chunk_elements) {
    if (chunk_elements > kMaxSamples) {
        return std::unexpected(filter_message("a chunk of " + std::to_string(chunk_elements) +
                                              " elements is more than a container holds"));
    }
    const auto elements =
        decoded_chunk_elements(container, type, {chunk_elements, ChunkFill::TrailingNaN});
    if (!elements) return std::unexpected(filter_message(elements.error()));
    return static_cast<std::size_t>(*elements) * element_size(type);
}

std::expected<void, std::string> decode_chunk(std::span<const uint8_t> container, ElementType type,
                                              std::span<uint8_t> out) {
    const auto decoded = decode_chunk_into(container, type, out);
    if (!decoded) return std::unexpected(filter_message(decoded.error()));
    return {};
}

}  // namespace kestova::hdf5
