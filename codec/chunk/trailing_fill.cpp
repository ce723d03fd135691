#include "codec/chunk/trailing_fill.h"

#include <cmath>

namespace kestova {

std::size_t stored_length(std::span<const float> samples, ElementType type) {
    if (!is_float_type(type) || samples.empty() || !std::isnan(samples.back())) {
        return samples.size();
    }
    std::size_t end = samples.size();
    while (end > 0 && std::isnan(samples[end - 1])) --end;
    return end == 0 ? samples.size() : end;
}

std::expected<void, std::string> check_announced(uint64_t announced, ChunkExtent extent,
                                                 ElementType type) {
    if (announced > extent.elements) {
        return std::unexpected("the container announces " + std::to_string(announced) +
                               " samples, but the chunk has " + std::to_string(extent.elements) +
                               " values; refusing to decode it");
    }
    const bool shorter_allowed =
        extent.fill == ChunkFill::AtMost ||
        (extent.fill == ChunkFill::TrailingNaN && is_float_type(type) && announced > 0);
    if (announced < extent.elements && !shorter_allowed) {
        return std::unexpected("the container holds " + std::to_string(announced) +
                               " samples, but the chunk has " + std::to_string(extent.elements) +
                               " values");
    }
    return {};
}

uint64_t decoded_elements(uint64_t announced, ChunkExtent extent) {
    return extent.fill == ChunkFill::AtMost ? announced : extent.elements;
}

}  // namespace kestova
