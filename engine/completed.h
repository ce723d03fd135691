// Turns a one-level executor into a complete one: whole-signal and multi-level analysis and
// synthesis built from the inner executor's one-level operations.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "engine/executor.h"

namespace Undra {

class CompletedDwtExecutor final : public DwtExecutor {
  public:
    // Wraps inner (not null), reading its filter length once.
    explicit CompletedDwtExecutor(SharedIncompleteDwtExecutor inner);

    UndraStatus execute_forward(std::span<const float> input, std::span<float> approximations,
                                std::span<float> details) const override;
    UndraStatus execute_forward_with_scratch(std::span<const float> input,
                                             std::span<float> approximations,
                                             std::span<float> details,
                                             std::span<float> scratch) const override;
    std::size_t required_scratch_size(std::size_t input_length) const override;
    DwtSize dwt_size(std::size_t input_length) const override;
    UndraStatus execute_inverse(std::span<const float> approximations,
                                std::span<const float> details,
                                std::span<float> output) const override;
    std::size_t idwt_size(DwtSize sizes) const override;
    // The filter length read at construction.
    std::size_t filter_length() const override;

    UndraResult<Dwt> dwt(std::span<const float> signal, std::size_t level) const override;
    UndraResult<MultiDwt> multi_dwt(std::span<const float> signal,
                                    std::size_t levels) const override;
    UndraResult<std::vector<float>> idwt(DwtView view) const override;
    UndraResult<std::vector<float>> multi_idwt(MultiDwtView view) const override;

    // The wrapped one-level executor.
    const SharedIncompleteDwtExecutor& inner() const { return inner_; }

  private:
    SharedIncompleteDwtExecutor inner_;
    std::size_t filter_length_;
};

}  // namespace Undra
