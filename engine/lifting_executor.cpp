#include "engine/lifting_executor.h"

#include <algorithm>
#include <utility>

#include "engine/level_analysis.h"
#include "engine/level_synthesis.h"
#include "engine/util.h"

namespace Undra {

using K = UndraErrorKind;

LiftingExecutor::LiftingExecutor(LiftingShape shape) : shape_(shape) {}

LiftingExecutor::~LiftingExecutor() = default;

UndraStatus LiftingExecutor::execute_forward(std::span<const float> input,
                                             std::span<float> approximations,
                                             std::span<float> details) const {
    const std::size_t n = input.size();
    if (n < shape_.min_length) return undra_fail(K::InputTooSmall, n, shape_.min_length);
    if (approximations.size() != n - n / 2) {
        return undra_fail(K::ApproximationSizeMismatch, approximations.size(), n - n / 2);
    }
    if (details.size() != n / 2) {
        return undra_fail(K::ApproximationSizeMismatch, details.size(), n / 2);
    }
    forward_kernel(input.data(), n, approximations.data(), details.data());
    return {};
}

UndraStatus LiftingExecutor::execute_forward_with_scratch(std::span<const float> input,
                                                          std::span<float> approximations,
                                                          std::span<float> details,
                                                          std::span<float> /*scratch*/) const {
    return execute_forward(input, approximations, details);
}

std::size_t LiftingExecutor::required_scratch_size(std::size_t /*input_length*/) const {
    return 0;
}

DwtSize LiftingExecutor::dwt_size(std::size_t input_length) const {
    return DwtSize{std::max<std::size_t>(input_length - input_length / 2, 2),
                   std::max<std::size_t>(input_length / 2, shape_.min_length - 2)};
}

std::size_t LiftingExecutor::idwt_size(DwtSize sizes) const {
    return std::max(sizes.approximations_length + sizes.details_length, shape_.min_length);
}

std::size_t LiftingExecutor::filter_length() const {
    return shape_.filter_length;
}

UndraStatus LiftingExecutor::check_inverse(std::size_t e, std::size_t o, std::size_t m) const {
    if (e + o != m) return undra_fail(K::OutputSizeMismatch, m, e + o);
    const DwtSize required = dwt_size(m);
    if (e != required.approximations_length) {
        return undra_fail(K::ApproximationSizeMismatch, e, required.approximations_length);
    }
    if (o != required.details_length) {
        return undra_fail(K::ApproximationSizeMismatch, o, required.details_length);
    }
    return {};
}

UndraStatus LiftingExecutor::execute_inverse(std::span<const float> approximations,
                                             std::span<const float> details,
                                             std::span<float> output) const {
    if (auto ok = check_inverse(approximations.size(), details.size(), output.size()); !ok) {
        return ok;
    }
    inverse_kernel(approximations.data(), details.data(), approximations.size(), details.size(),
                   output.data());
    return {};
}

// Every level's input must have min_length samples, the first one's included.
UndraResult<Dwt> LiftingExecutor::dwt(std::span<const float> signal, std::size_t level) const {
    return analyse_to_level(*this, signal, level, shape_.min_length);
}

UndraResult<MultiDwt> LiftingExecutor::multi_dwt(std::span<const float> signal,
                                                 std::size_t levels) const {
    return analyse_levels(*this, signal, levels, shape_.min_length);
}

UndraResult<std::vector<float>> LiftingExecutor::idwt(DwtView view) const {
    const std::size_t m = view.approximations.size() + view.details.size();
    if (auto ok = check_inverse(view.approximations.size(), view.details.size(), m); !ok) {
        return std::unexpected(ok.error());
    }
    auto output = try_zeroed<float>(m);
    if (!output) return output;
    inverse_kernel(view.approximations.data(), view.details.data(), view.approximations.size(),
                   view.details.size(), output->data());
    return output;
}

// A lifting synthesis rebuilds exactly the coarser level's analysis input, so every level reads
// the whole reconstruction, checked as idwt checks it.
UndraResult<std::vector<float>> LiftingExecutor::multi_idwt(MultiDwtView view) const {
    return synthesise_levels(
        *this, view,
        [this](std::size_t available, std::size_t details_length,
               bool) -> UndraResult<std::size_t> {
            if (auto ok = check_inverse(available, details_length, available + details_length);
                !ok) {
                return std::unexpected(ok.error());
            }
            return available;
        });
}

}  // namespace Undra
