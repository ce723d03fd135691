#include "codec/reconstruct.h"

#include <algorithm>

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

namespace {

// reconstruct, giving back the pages of `releasable` (the coefficients, when the caller is done
// with them after this) that only the coarser levels read before the finest level runs.
Undra::UndraResult<std::vector<float>> reconstruct_releasing(const Undra::DwtExecutor& executor,
                                                             const LevelLayout& layout,
                                                             std::size_t transform_length,
                                                             std::span<const float> coefficients,
                                                             std::span<float> releasable) {
    if (!analysable_chain(layout, transform_length, executor.filter_length())) {
        return multi_level_inverse(executor, layout, coefficients);
    }
    // The levels above the finest take turns in two arrays, each sized by the largest output it
    // receives; the finest writes into the result, made just before it runs, when the array of
    // the even levels is no longer needed.
    const std::size_t levels = layout.sizes.size();
    std::size_t largest[2] = {0, 0};
    for (std::size_t level = 1; level < levels; ++level) {
        largest[level % 2] = std::max(largest[level % 2], executor.idwt_size(layout.sizes[level]));
    }
    UninitBuffer<float> even(largest[0]);
    const UninitBuffer<float> odd(largest[1]);
    const std::span<const float> approximations = coefficients.first(layout.approximations);
    Undra::LevelSynthesis synthesis(executor, approximations, levels, even.span(), odd.span(),
                                    false);
    for (std::size_t level = levels; level-- > 1;) {
        const auto status = synthesis.next(
            layout.sizes[level].approximations_length,
            coefficients.subspan(layout.details_offset(level), layout.sizes[level].details_length));
        if (!status) return std::unexpected(status.error());
    }
    even.reset();
    // The finest level reads only its own details and the output of the level above: the
    // coarsest approximations in front of those details and the coarser details behind them
    // are done with.
    const Undra::DwtSize finest = layout.sizes[0];
    if (levels > 1 && !releasable.empty()) {
        const std::size_t finest_end = layout.details_offset(0) + finest.details_length;
        release_pages(releasable.data(), layout.details_offset(0) * sizeof(float));
        release_pages(releasable.data() + finest_end,
                      (releasable.size() - finest_end) * sizeof(float));
    }
    std::vector<float> result;
    result.reserve(executor.idwt_size(finest));
    advise_huge_pages(result.data(), result.capacity() * sizeof(float));
    result.resize(result.capacity());
    const auto status = synthesis.next_into(
        finest.approximations_length,
        coefficients.subspan(layout.details_offset(0), finest.details_length), result);
    if (!status) return std::unexpected(status.error());
    return result;
}

}  // namespace

Undra::UndraResult<std::vector<float>> reconstruct(const Undra::DwtExecutor& executor,
                                                   const LevelLayout& layout,
                                                   std::size_t transform_length,
                                                   std::span<const float> coefficients) {
    return reconstruct_releasing(executor, layout, transform_length, coefficients, {});
}

Undra::UndraResult<std::vector<float>> reconstruct_consuming(const Undra::DwtExecutor& executor,
                                                             const LevelLayout& layout,
                                                             std::size_t transform_length,
                                                             std::span<float> coefficients) {
    return reconstruct_releasing(executor, layout, transform_length, coefficients, coefficients);
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
