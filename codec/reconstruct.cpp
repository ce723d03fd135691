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

// The synthesis into `result` (sized, zero-filled when `zeroed`), `spare` holding the next
// coarser outputs; `all_details` for chains only multi_idwt takes.
template <typename Spare>
Undra::UndraStatus synthesise(const Undra::DwtExecutor& executor, const LevelLayout& layout,
                              std::span<const float> coefficients, std::span<float> result,
                              Spare spare, bool zeroed) {
    const std::size_t levels = layout.sizes.size();
    const std::span<const float> approximations = coefficients.first(layout.approximations);
    Undra::LevelSynthesis synthesis(executor, approximations, levels, result, spare, zeroed);
    for (std::size_t level = levels; level-- > 0;) {
        const auto status = synthesis.next(
            layout.sizes[level].approximations_length,
            coefficients.subspan(layout.details_offset(level), layout.sizes[level].details_length));
        if (!status) return std::unexpected(status.error());
    }
    return {};
}

// The engine's own multi-level inverse, for chains the compressor never produces.
Undra::UndraResult<std::vector<float>> multi_level_inverse(const Undra::DwtExecutor& executor,
                                                           const LevelLayout& layout,
                                                           std::span<const float> coefficients) {
    std::vector<std::span<const float>> all_details;
    for (std::size_t level = 0; level < layout.sizes.size(); ++level) {
        all_details.push_back(
            coefficients.subspan(layout.details_offset(level), layout.sizes[level].details_length));
    }
    return executor.multi_idwt(
        {.details = all_details, .approximations = coefficients.first(layout.approximations)});
}

}  // namespace

Undra::UndraResult<std::vector<float>> reconstruct(const Undra::DwtExecutor& executor,
                                                   const LevelLayout& layout,
                                                   std::size_t transform_length,
                                                   std::span<const float> coefficients) {
    if (!analysable_chain(layout, transform_length, executor.filter_length())) {
        return multi_level_inverse(executor, layout, coefficients);
    }
    // Output lengths only shrink towards the coarse levels, so level 0's and level 1's bound the
    // two buffers; level 0 ends in the result.
    const std::size_t levels = layout.sizes.size();
    std::vector<float> result;
    result.reserve(executor.idwt_size(layout.sizes[0]));
    advise_huge_pages(result.data(), result.capacity() * sizeof(float));
    result.resize(result.capacity());
    const UninitBuffer<float> spare(levels > 1 ? executor.idwt_size(layout.sizes[1]) : 0);
    const auto status = synthesise(executor, layout, coefficients, result, spare.span(), true);
    if (!status) return std::unexpected(status.error());
    return result;
}

Undra::UndraStatus reconstruct_into(const Undra::DwtExecutor& executor, const LevelLayout& layout,
                                    std::size_t transform_length,
                                    std::span<const float> coefficients, std::vector<float>& result,
                                    std::vector<float>& spare) {
    if (!analysable_chain(layout, transform_length, executor.filter_length())) {
        auto signal = multi_level_inverse(executor, layout, coefficients);
        if (!signal) return std::unexpected(signal.error());
        result = std::move(*signal);
        return {};
    }
    result.resize(executor.idwt_size(layout.sizes[0]));
    spare.resize(layout.sizes.size() > 1 ? executor.idwt_size(layout.sizes[1]) : 0);
    return synthesise(executor, layout, coefficients, std::span<float>(result),
                      std::span<float>(spare), false);
}

}  // namespace kestova
