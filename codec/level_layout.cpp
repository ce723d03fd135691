#include "codec/level_layout.h"

namespace kestova {

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
