#include "codec/reconstruct.h"

#include "codec/uninit_buffer.h"
#include "engine/level_synthesis.h"

namespace kestova {

namespace {

// True when every level's input length is one the forward transform accepts, as it is for
// every container the compressor writes. Then each synthesis step rebuilds at least the next
// finer approximation and the engine's multi-level inverse cannot fail.
bool analysable_chain(const LevelLayout& layout, std::size_t transform_length,
                      std::size_t filter_length) {
    std::size_t length = transform_length;
    for (const Undra::DwtSize& size : layout.sizes) {
        if (length < filter_length) return false;
        length = size.approximations_length;
    }
    return true;
}

}  // namespace

Undra::UndraResult<std::vector<float>> reconstruct(const Undra::DwtExecutor& executor,
                                                   const LevelLayout& layout,
                                                   std::size_t transform_length,
                                                   std::span<const float> coefficients) {
    const std::size_t levels = layout.sizes.size();
    const auto details = [&](std::size_t level) {
        return coefficients.subspan(layout.details_offset(level),
                                    layout.sizes[level].details_length);
    };
    const std::span<const float> approximations = coefficients.first(layout.approximations);
    if (!analysable_chain(layout, transform_length, executor.filter_length())) {
        std::vector<std::span<const float>> all_details;
        for (std::size_t level = 0; level < levels; ++level) all_details.push_back(details(level));
        return executor.multi_idwt({.details = all_details, .approximations = approximations});
    }
    // Output lengths only shrink towards the coarse levels, so level 0's and level 1's bound the
    // two buffers; level 0 ends in the result.
    std::vector<float> result;
    result.reserve(executor.idwt_size(layout.sizes[0]));
    advise_huge_pages(result.data(), result.capacity() * sizeof(float));
    result.resize(result.capacity());
    const UninitBuffer<float> spare(levels > 1 ? executor.idwt_size(layout.sizes[1]) : 0);
    Undra::LevelSynthesis synthesis(executor, approximations, levels, result, spare.span(), true);
    for (std::size_t level = levels; level-- > 0;) {
        const auto status =
            synthesis.next(layout.sizes[level].approximations_length, details(level));
        if (!status) return std::unexpected(status.error());
    }
    return result;
}

}  // namespace kestova
