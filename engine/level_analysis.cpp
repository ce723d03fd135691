#include "engine/level_analysis.h"

#include <algorithm>
#include <new>
#include <utility>

#include "engine/util.h"

namespace Undra {

namespace {

// At most this many levels can ever succeed: each level roughly halves the length (a few extra
// steps near the filter length), so reserving more would only waste memory.
constexpr std::size_t kMaxReservedLevels = 128;

// An owned copy of one level's outputs.
UndraResult<Dwt> copy_level(std::span<const float> approximations, std::span<const float> details) {
    auto stored_approximations = try_copy(approximations);
    if (!stored_approximations) return std::unexpected(stored_approximations.error());
    auto stored_details = try_copy(details);
    if (!stored_details) return std::unexpected(stored_details.error());
    return Dwt{std::move(*stored_approximations), std::move(*stored_details)};
}

}  // namespace

LevelAnalysis::LevelAnalysis(const IncompleteDwtExecutor& executor, std::span<const float> signal,
                             std::span<float> even, std::span<float> odd, std::span<float> details)
    : executor_(executor), buffers_{even, odd}, details_buffer_(details), input_(signal) {}

LevelAnalysis::LevelAnalysis(const IncompleteDwtExecutor& executor, std::span<const float> signal)
    : LevelAnalysis(executor, signal, {}, {}, {}) {}

UndraStatus LevelAnalysis::next() {
    const DwtSize size = next_size();
    return next_into(buffers_[levels_ % 2].first(size.approximations_length),
                     details_buffer_.first(size.details_length));
}

UndraStatus LevelAnalysis::next_into(std::span<float> approximations, std::span<float> details) {
    const std::size_t scratch = executor_.required_scratch_size(input_.size());
    if (scratch > scratch_.size()) {
        if (auto ok = try_resize(scratch_, scratch); !ok) return ok;
    }
    if (auto ok = executor_.execute_forward_with_scratch(input_, approximations, details, scratch_);
        !ok) {
        return ok;
    }
    approximations_[levels_ % 2] = approximations;
    details_ = details;
    input_ = approximations;
    ++levels_;
    return {};
}

// Each level is analysed straight into the arrays it returns, from the stored approximations of
// the level before: no copies and no working arrays beyond the executor's scratch.
UndraResult<MultiDwt> analyse_levels(const IncompleteDwtExecutor& executor,
                                     std::span<const float> signal, std::size_t levels,
                                     std::size_t min_input) {
    const std::size_t count = std::max<std::size_t>(levels, 1);
    MultiDwt result;
    const std::size_t reserved = std::min(count, kMaxReservedLevels);
    try {
        result.levels.reserve(reserved);
    } catch (const std::bad_alloc&) {
        return undra_fail(UndraErrorKind::AllocationFailed, reserved * sizeof(Dwt));
    }
    LevelAnalysis analysis(executor, signal);
    for (std::size_t level = 0; level < count; ++level) {
        if (analysis.input_length() < min_input) {
            return undra_fail(UndraErrorKind::BufferTooSmallForLevel);
        }
        const DwtSize size = analysis.next_size();
        auto approximations = try_zeroed<float>(size.approximations_length);
        if (!approximations) return std::unexpected(approximations.error());
        auto details = try_zeroed<float>(size.details_length);
        if (!details) return std::unexpected(details.error());
        try {
            result.levels.push_back(Dwt{std::move(*approximations), std::move(*details)});
        } catch (const std::bad_alloc&) {
            return undra_fail(UndraErrorKind::AllocationFailed,
                              (result.levels.size() + 1) * sizeof(Dwt));
        }
        // Moving a Dwt keeps its arrays in place, so the next level's input stays valid as the
        // list grows.
        Dwt& stored = result.levels.back();
        if (auto ok = analysis.next_into(stored.approximations, stored.details); !ok) {
            return std::unexpected(ok.error());
        }
    }
    return result;
}

UndraResult<Dwt> analyse_to_level(const IncompleteDwtExecutor& executor,
                                  std::span<const float> signal, std::size_t level,
                                  std::size_t min_input) {
    const std::size_t count = std::max<std::size_t>(level, 1);
    const DwtSize first = executor.dwt_size(signal.size());
    auto even = try_zeroed<float>(first.approximations_length);
    if (!even) return std::unexpected(even.error());
    auto details = try_zeroed<float>(first.details_length);
    if (!details) return std::unexpected(details.error());
    // The odd levels' largest output is level 1's, computed from level 0's approximations.
    auto odd = try_zeroed<float>(
        count > 1 ? executor.dwt_size(first.approximations_length).approximations_length : 0);
    if (!odd) return std::unexpected(odd.error());
    LevelAnalysis analysis(executor, signal, *even, *odd, *details);
    for (std::size_t k = 0; k < count; ++k) {
        if (analysis.input_length() < min_input) {
            return undra_fail(UndraErrorKind::BufferTooSmallForLevel);
        }
        if (auto ok = analysis.next(); !ok) return std::unexpected(ok.error());
    }
    return copy_level(analysis.approximations(count - 1), analysis.details());
}

}  // namespace Undra
