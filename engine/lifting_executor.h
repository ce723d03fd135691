// Shared frame of the lifting executors (CDF 9/7, CDF 5/3): size rules, argument checks and
// the single- and multi-level operations. A concrete executor supplies only its two kernels,
// which run on arrays whose sizes have already been checked.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "engine/executor.h"

namespace Undra {

// The size rules that tell one lifting transform from another.
struct LiftingShape {
    std::size_t min_length;     // shortest signal one level accepts
    std::size_t filter_length;  // reported by filter_length()
};

class LiftingExecutor : public DwtExecutor {
  public:
    ~LiftingExecutor() override;

    UndraStatus execute_forward(std::span<const float> input, std::span<float> approximations,
                                std::span<float> details) const final;
    UndraStatus execute_forward_with_scratch(std::span<const float> input,
                                             std::span<float> approximations,
                                             std::span<float> details,
                                             std::span<float> scratch) const final;
    std::size_t required_scratch_size(std::size_t input_length) const final;
    DwtSize dwt_size(std::size_t input_length) const final;
    UndraStatus execute_inverse(std::span<const float> approximations,
                                std::span<const float> details,
                                std::span<float> output) const final;
    std::size_t idwt_size(DwtSize sizes) const final;
    std::size_t filter_length() const final;
    UndraResult<Dwt> dwt(std::span<const float> signal, std::size_t level) const final;
    UndraResult<MultiDwt> multi_dwt(std::span<const float> signal, std::size_t levels) const final;
    UndraResult<std::vector<float>> idwt(DwtView view) const final;
    UndraResult<std::vector<float>> multi_idwt(MultiDwtView view) const final;

  protected:
    // Out of line, like the destructor, so that no instruction-set variant emits its own copy.
    explicit LiftingExecutor(LiftingShape shape);

    // One analysis level of x (n >= min_length) into s (ceil(n/2)) and d (floor(n/2)).
    virtual void forward_kernel(const float* x, std::size_t n, float* s, float* d) const = 0;
    // One synthesis level of s (e) and d (o) into y (e + o), in working memory of its own that
    // does not grow with the level. Inputs are only read.
    virtual void inverse_kernel(const float* s, const float* d, std::size_t e, std::size_t o,
                                float* y) const = 0;

  private:
    UndraStatus check_inverse(std::size_t e, std::size_t o, std::size_t m) const;

    LiftingShape shape_;
};

}  // namespace Undra
