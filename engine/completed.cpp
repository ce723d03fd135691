#include "engine/completed.h"

#include <algorithm>
#include <new>
#include <utility>

#include "engine/level_analysis.h"
#include "engine/level_synthesis.h"
#include "engine/util.h"

namespace Undra {

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

// A single level leaves the length check to the inner executor (InputTooSmall); deeper
// decompositions check every level's input against the filter length.
UndraResult<Dwt> CompletedDwtExecutor::dwt(std::span<const float> signal, std::size_t level) const {
    return analyse_to_level(*inner_, signal, level, level > 1 ? filter_length_ : 0);
}

UndraResult<MultiDwt> CompletedDwtExecutor::multi_dwt(std::span<const float> signal,
                                                      std::size_t levels) const {
    return analyse_levels(*inner_, signal, levels, levels > 1 ? filter_length_ : 0);
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

// The coarsest level pairs approximations and details of one length, as idwt does. A synthesis of
// odd-length analysis input has one surplus sample at the end; cutting each reconstruction to the
// finer level's details length drops it.
UndraResult<std::vector<float>> CompletedDwtExecutor::multi_idwt(MultiDwtView view) const {
    return synthesise_levels(
        *inner_, view,
        [](std::size_t available, std::size_t details_length,
           bool coarsest) -> UndraResult<std::size_t> {
            if (coarsest ? available != details_length : available < details_length) {
                return undra_fail(UndraErrorKind::ApproxDetailsMismatch, available, details_length);
            }
            return details_length;
        });
}

}  // namespace Undra
