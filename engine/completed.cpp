#include "engine/completed.h"

#include <algorithm>
#include <new>
#include <utility>

#include "engine/util.h"

namespace Undra {

namespace {

// A new array holding a copy of values, or AllocationFailed.
UndraResult<std::vector<float>> try_copy(std::span<const float> values) {
    auto copy = try_zeroed<float>(values.size());
    if (copy) std::copy(values.begin(), values.end(), copy->begin());
    return copy;
}

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
    auto current = try_copy(signal);
    if (!current) return std::unexpected(current.error());
    Dwt last;
    for (std::size_t l = 0; l < level; ++l) {
        if (current->size() < filter_length_) {
            return undra_fail(UndraErrorKind::BufferTooSmallForLevel);
        }
        auto step = analyse(*current);
        if (!step) return step;
        last = std::move(*step);
        // The next level works on this one's approximations; the last level's are returned.
        if (l + 1 < level) *current = std::move(last.approximations);
    }
    return last;
}

UndraResult<MultiDwt> CompletedDwtExecutor::multi_dwt(std::span<const float> signal,
                                                      std::size_t levels) const {
    MultiDwt result;
    if (levels <= 1) {
        auto step = analyse(signal);
        if (!step) return std::unexpected(step.error());
        try {
            result.levels.push_back(std::move(*step));
        } catch (const std::bad_alloc&) {
            return undra_fail(UndraErrorKind::AllocationFailed, sizeof(Dwt));
        }
        return result;
    }
    auto current = try_copy(signal);
    if (!current) return std::unexpected(current.error());
    auto work = try_zeroed<float>(inner_->dwt_size(signal.size()).approximations_length);
    if (!work) return std::unexpected(work.error());
    const std::size_t reserved = std::min(levels, kMaxReservedLevels);
    try {
        result.levels.reserve(reserved);
    } catch (const std::bad_alloc&) {
        return undra_fail(UndraErrorKind::AllocationFailed, reserved * sizeof(Dwt));
    }
    for (std::size_t l = 0; l < levels; ++l) {
        if (current->size() < filter_length_) {
            return undra_fail(UndraErrorKind::BufferTooSmallForLevel);
        }
        const DwtSize size = inner_->dwt_size(current->size());
        if (work->size() < size.approximations_length) {
            if (auto ok = try_resize(*work, size.approximations_length); !ok) {
                return std::unexpected(ok.error());
            }
        }
        const std::span<float> approximations(work->data(), size.approximations_length);
        auto details = try_zeroed<float>(size.details_length);
        if (!details) return std::unexpected(details.error());
        if (auto ok = inner_->execute_forward(*current, approximations, *details); !ok) {
            return std::unexpected(ok.error());
        }
        auto stored = try_copy(approximations);
        if (!stored) return std::unexpected(stored.error());
        try {
            result.levels.push_back(Dwt{std::move(*stored), std::move(*details)});
        } catch (const std::bad_alloc&) {
            return undra_fail(UndraErrorKind::AllocationFailed,
                              (result.levels.size() + 1) * sizeof(Dwt));
        }
        // The new approximations become the next input; the old input's storage is reused.
        work->resize(size.approximations_length);
        std::swap(*current, *work);
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
