// The executor interfaces every wavelet transform implements, and the records they exchange.
// Executors are immutable after construction: every operation is const and thread safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/err.h"

namespace Undra {

// How a filter-bank executor extends the signal beyond its ends.
enum class BorderMode : uint32_t {
    Clamp = 0,       // repeat the edge sample
    Wrap = 1,        // periodic
    Reflect = 2,     // mirror, edge sample repeated
    Reflect101 = 3,  // mirror, edge sample not repeated
    Zeros = 4,
};

// Output lengths of one analysis level.
struct DwtSize {
    std::size_t approximations_length;
    std::size_t details_length;

    bool operator==(const DwtSize&) const = default;
};

// One level of a decomposition; both arrays are owned.
struct Dwt {
    std::vector<float> approximations;
    std::vector<float> details;
};

// A multi-level decomposition: levels[0] is computed from the signal (finest details),
// levels[k] from levels[k-1].approximations; the last entry holds the coarsest approximation.
struct MultiDwt {
    std::vector<Dwt> levels;
};

// One level's coefficients, borrowed for the duration of a synthesis call.
struct DwtView {
    std::span<const float> approximations;
    std::span<const float> details;
};

// A whole decomposition, borrowed: `details` finest level first, `approximations` the coarsest.
struct MultiDwtView {
    std::span<const std::span<const float>> details;
    std::span<const float> approximations;
};

// One level of analysis.
class DwtForwardExecutor {
public:
    virtual ~DwtForwardExecutor() = default;

    // Analyses `input` into caller-sized arrays (see dwt_size); checks sizes before writing.
    virtual UndraStatus execute_forward(std::span<const float> input,
                                        std::span<float> approximations,
                                        std::span<float> details) const = 0;
    // As execute_forward, with caller-provided working storage of required_scratch_size elements.
    virtual UndraStatus execute_forward_with_scratch(std::span<const float> input,
                                                     std::span<float> approximations,
                                                     std::span<float> details,
                                                     std::span<float> scratch) const = 0;
    // Scratch elements execute_forward_with_scratch needs for an input of this length.
    virtual std::size_t required_scratch_size(std::size_t input_length) const = 0;
    // The output lengths one analysis level produces for an input of this length.
    virtual DwtSize dwt_size(std::size_t input_length) const = 0;
};

// One level of synthesis.
class DwtInverseExecutor {
public:
    virtual ~DwtInverseExecutor() = default;

    // Reconstructs into `output` (length idwt_size); filter banks add into it, so pass zeros.
    virtual UndraStatus execute_inverse(std::span<const float> approximations,
                                        std::span<const float> details,
                                        std::span<float> output) const = 0;
    // The reconstructed length for coefficient arrays of these lengths.
    virtual std::size_t idwt_size(DwtSize sizes) const = 0;
};

// A one-level transform that knows its filter length.
class IncompleteDwtExecutor : public DwtForwardExecutor, public DwtInverseExecutor {
public:
    // Number of taps; the shortest input one level accepts.
    virtual std::size_t filter_length() const = 0;
};

// A complete transform: one-level operations plus whole-signal and multi-level ones.
class DwtExecutor : public IncompleteDwtExecutor {
public:
    // The approximations and details after `level` analysis steps (0 counts as 1).
    virtual UndraResult<Dwt> dwt(std::span<const float> signal, std::size_t level) const = 0;
    // Every level of a `levels`-step decomposition (0 counts as 1), finest first.
    virtual UndraResult<MultiDwt> multi_dwt(std::span<const float> signal,
                                            std::size_t levels) const = 0;
    // Reconstructs one level into a new array.
    virtual UndraResult<std::vector<float>> idwt(DwtView view) const = 0;
    // Reconstructs a whole decomposition, coarsest level first, into a new array.
    virtual UndraResult<std::vector<float>> multi_idwt(MultiDwtView view) const = 0;
};

// Shared handles: reference counted with an atomic count; executors never change.
using SharedDwtExecutor = std::shared_ptr<const DwtExecutor>;
using SharedIncompleteDwtExecutor = std::shared_ptr<const IncompleteDwtExecutor>;

}  // namespace Undra
