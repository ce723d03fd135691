#include "engine/completed.h"

#include <algorithm>
#include <new>
#include <utility>

#include "engine/util.h"

namespace Undra {

namespace {

// At most this many levels can ever succeed: each level roughly halves the length (a few extra
// steps near the filter length), so reserving more would only waste memory.
constexpr std::size_t kMaxReservedLevels = 128;

}  // namespace

CompletedDwtExecutor::CompletedDwtExecutor(SharedIncompleteDwtExecutor inner)
    : inner_(std::move(inner)), filter_length_(inner_->filter_length()) {}

UndraStatus CompletedDwtExecutor::execute_forward(std::span<const float> input,
                                                  std::span<float> approximations,
                                                  std::span<float> details) const {
    return inner_->execute_forward(input, approximations, details);
}

UndraStatus CompletedDwtExecutor::execute_forward_with_scratch(std::span<const float> input,
                                                               std::span<float> approximations,
                                                               std::span<float> details,
                                                               std::span<float> scratch) const {
    return inner_->execute_forward_with_scratch(input, approximations, details, scratch);
}

std::size_t CompletedDwtExecutor::required_scratch_size(std::size_t input_length) const {
    return inner_->required_scratch_size(input_length);
}

DwtSize CompletedDwtExecutor::dwt_size(std::size_t input_length) const {
    return inner_->dwt_size(input_length);
}

UndraStatus CompletedDwtExecutor::execute_inverse(std::span<const float> approximations,
                                                  std::span<const float> details,
                                                  std::span<float> output) const {
    return inner_->execute_inverse(approximations, details, output);
}

std::size_t CompletedDwtExecutor::idwt_size(DwtSize sizes) const {
    return inner_->idwt_size(sizes);
}

std::size_t CompletedDwtExecutor::filter_length() const {
    return filter_length_;
}

UndraResult<Dwt> CompletedDwtExecutor::analyse(std::span<const float> signal) const {
    const DwtSize size = inner_->dwt_size(signal.size());
    auto approximations = try_zeroed<float>(size.approximations_length);
    if (!approximations) return std::unexpected(approximations.error());
    auto details = try_zeroed<float>(size.details_length);
    if (!details) return std::unexpected(details.error());
    if (auto ok = inner_->execute_forward(signal, *approximations, *details); !ok) {
        return std::unexpected(ok.error());
    }
    return Dwt{std::move(*approximations), std::move(*details)};
}

UndraResult<Dwt> CompletedDwtExecutor::dwt(std::span<const float> signal, std::size_t level) const {
    if (level <= 1) return analyse(signal);
    Dwt last;
    std::span<const float> current = signal;
    for (std::size_t l = 0; l < level; ++l) {
        if (current.size() < filter_length_) {
            return undra_fail(UndraErrorKind::BufferTooSmallForLevel);
        }
        auto step = analyse(current);
        if (!step) return step;
        // The previous level is released here; only its approximations were still needed.
        last = std::move(*step);
        current = last.approximations;
    }
    return last;
}

// Each level is analysed straight from the stored approximations of the level before, so the
// only memory per level is the two arrays it returns: no copy of the signal, no working arrays.
UndraResult<MultiDwt> CompletedDwtExecutor::multi_dwt(std::span<const float> signal,
                                                      std::size_t levels) const {
    const std::size_t count = std::max<std::size_t>(levels, 1);
    MultiDwt result;
    const std::size_t reserved = std::min(count, kMaxReservedLevels);
    try {
        result.levels.reserve(reserved);
    } catch (const std::bad_alloc&) {
        return undra_fail(UndraErrorKind::AllocationFailed, reserved * sizeof(Dwt));
    }
    std::span<const float> current = signal;
    for (std::size_t l = 0; l < count; ++l) {
        // A single level leaves the length check to the inner executor (InputTooSmall).
        if (count > 1 && current.size() < filter_length_) {
            return undra_fail(UndraErrorKind::BufferTooSmallForLevel);
        }
        auto step = analyse(current);
        if (!step) return std::unexpected(step.error());
        try {
            result.levels.push_back(std::move(*step));
        } catch (const std::bad_alloc&) {
            return undra_fail(UndraErrorKind::AllocationFailed,
                              (result.levels.size() + 1) * sizeof(Dwt));
        }
        // Moving a Dwt keeps its arrays in place, so this view stays valid as levels grows.
        current = result.levels.back().approximations;
    }
    return result;
}

UndraResult<std::vector<float>> CompletedDwtExecutor::idwt(DwtView view) const {
    if (view.approximations.size() != view.details.size()) {
        return undra_fail(UndraErrorKind::ApproxDetailsMismatch, view.approximations.size(),
                          view.details.size());
    }
    const std::size_t length = view.details.size();
    auto output = try_zeroed<float>(inner_->idwt_size({length, length}));
    if (!output) return output;
    if (auto ok = inner_->execute_inverse(view.approximations, view.details, *output); !ok) {
        return std::unexpected(ok.error());
    }
    return output;
}

UndraResult<std::vector<float>> CompletedDwtExecutor::multi_idwt(MultiDwtView view) const {
    if (view.details.empty() || view.approximations.empty()) {
        return undra_fail(UndraErrorKind::ZeroSizedInput);
    }
    auto current = idwt({view.approximations, view.details.back()});
    if (!current) return current;
    for (std::size_t k = view.details.size() - 1; k-- > 0;) {
        const std::span<const float> details = view.details[k];
        // A synthesis of odd-length analysis input has one surplus sample at the end; cutting to
        // the finer level's details length drops it.
        if (current->size() < details.size()) {
            return undra_fail(UndraErrorKind::ApproxDetailsMismatch, current->size(),
                              details.size());
        }
        auto finer = idwt({std::span<const float>(*current).first(details.size()), details});
        if (!finer) return finer;
        current = std::move(finer);
    }
    return current;
}

}  // namespace Undra
