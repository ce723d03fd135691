#include "engine/level_synthesis.h"

#include <algorithm>
#include <utility>

#include "engine/util.h"

namespace Undra {

LevelSynthesis::LevelSynthesis(const IncompleteDwtExecutor& executor,
                               std::span<const float> approximations, std::size_t levels,
                               std::span<float> even, std::span<float> odd, bool even_zeroed)
    : executor_(executor),
      buffers_{even, odd},
      zeroed_{even_zeroed, false},
      input_(approximations),
      levels_left_(levels) {}

UndraStatus LevelSynthesis::next(std::size_t approximations_length,
                                 std::span<const float> details) {
    const std::size_t parity = (levels_left_ - 1) % 2;
    const std::span<float> output =
        buffers_[parity].first(output_length(approximations_length, details.size()));
    if (!zeroed_[parity]) std::fill(output.begin(), output.end(), 0.0f);
    zeroed_[parity] = false;
    return next_into(approximations_length, details, output);
}

UndraStatus LevelSynthesis::next_into(std::size_t approximations_length,
                                      std::span<const float> details, std::span<float> output) {
    if (auto ok = executor_.execute_inverse(input_.first(approximations_length), details, output);
        !ok) {
        return ok;
    }
    input_ = output;
    output_ = output;
    --levels_left_;
    return {};
}

// The levels above the finest take turns in two uninitialised arrays; the finest writes into the
// returned array, zero-filled when it is made, just before that level runs.
UndraResult<std::vector<float>> synthesise_levels(const IncompleteDwtExecutor& executor,
                                                  MultiDwtView view, const ApproximationsCut& cut) {
    if (view.details.empty() || view.approximations.empty()) {
        return undra_fail(UndraErrorKind::ZeroSizedInput);
    }
    const std::size_t levels = view.details.size();
    // The largest output of each parity among the levels above the finest that pass their cut;
    // the first level refused ends the synthesis before anything is allocated for it.
    std::size_t largest[2] = {0, 0};
    std::size_t available = view.approximations.size();
    for (std::size_t k = levels; k-- > 1;) {
        const std::size_t details_length = view.details[k].size();
        const auto length = cut(available, details_length, k + 1 == levels);
        if (!length) break;
        available = executor.idwt_size({*length, details_length});
        largest[k % 2] = std::max(largest[k % 2], available);
    }
    auto even = try_uninitialised<float>(largest[0]);
    if (!even) return std::unexpected(even.error());
    auto odd = try_uninitialised<float>(largest[1]);
    if (!odd) return std::unexpected(odd.error());
    LevelSynthesis synthesis(executor, view.approximations, levels, {even->get(), largest[0]},
                             {odd->get(), largest[1]}, false);
    const auto cut_level = [&](std::size_t k) {
        return cut(synthesis.input_length(), view.details[k].size(), k + 1 == levels);
    };
    for (std::size_t k = levels; k-- > 1;) {
        const auto length = cut_level(k);
        if (!length) return std::unexpected(length.error());
        if (auto ok = synthesis.next(*length, view.details[k]); !ok) {
            return std::unexpected(ok.error());
        }
    }
    const auto length = cut_level(0);
    if (!length) return std::unexpected(length.error());
    auto signal = try_zeroed<float>(synthesis.output_length(*length, view.details[0].size()));
    if (!signal) return signal;
    if (auto ok = synthesis.next_into(*length, view.details[0], *signal); !ok) {
        return std::unexpected(ok.error());
    }
    return signal;
}

}  // namespace Undra
