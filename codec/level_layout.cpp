#include "codec/level_layout.h"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace kestova {

namespace {

constexpr unsigned kMinLevels = 1;
constexpr unsigned kMaxLevels = 8;

}  // namespace

std::size_t compute_max_levels(std::size_t length, std::size_t filter_length) {
    if (length < filter_length) return kMinLevels;
    const uint32_t divisor = static_cast<uint32_t>(filter_length);
    if (divisor == 0) return kMinLevels;
    const uint32_t q = static_cast<uint32_t>(length) / divisor;
    const unsigned log2 = q == 0 ? 0 : std::bit_width(q) - 1;
    return std::clamp(log2, kMinLevels, kMaxLevels);
}

std::size_t LevelLayout::details_offset(std::size_t level) const {
    std::size_t offset = approximations;
    for (std::size_t k = 0; k < level; ++k) offset += sizes[k].details_length;
    return offset;
}

LevelLayout LevelLayout::first_levels(std::size_t levels) const {
    LevelLayout layout;
    layout.sizes.assign(sizes.begin(), sizes.begin() + levels);
    for (const Undra::DwtSize& size : layout.sizes) layout.details += size.details_length;
    layout.approximations = layout.sizes.back().approximations_length;
    return layout;
}

LevelLayout level_layout(const Undra::DwtExecutor& executor, std::size_t transform_length,
                         std::size_t levels) {
    LevelLayout layout;
    layout.sizes.reserve(levels);
    std::size_t length = transform_length;
    for (std::size_t k = 0; k < levels; ++k) {
        const Undra::DwtSize size = executor.dwt_size(length);
        layout.sizes.push_back(size);
        layout.details += size.details_length;
        length = size.approximations_length;
    }
    layout.approximations = length;
    return layout;
}

}  // namespace kestova
