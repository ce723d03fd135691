// The multi-level synthesis loop, shared by the executors' multi-level operations and the codec.
// Levels run coarsest first: level k synthesises the first values of the level above's output
// (for the coarsest level, the decomposition's approximations) with its own details through the
// executor's one-level operation. The outputs go either to two caller arrays that take turns,
// reused from level to level and zero-filled before the executor adds into them, or to a zeroed
// array the caller hands a level; either way a level allocates nothing.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

#include "engine/executor.h"

namespace Undra {

class LevelSynthesis {
  public:
    // A synthesis of `levels` levels down from `approximations`: level k writes into `even` for
    // even k and into `odd` for odd k, so the finest output ends in `even`. Each array must hold
    // the largest output it receives; `even_zeroed` says that `even` holds zeros already.
    LevelSynthesis(const IncompleteDwtExecutor& executor, std::span<const float> approximations,
                   std::size_t levels, std::span<float> even, std::span<float> odd,
                   bool even_zeroed);

    // The length of the approximations the next level reads from.
    std::size_t input_length() const { return input_.size(); }

    // The output length of a level synthesising this many approximations and details.
    std::size_t output_length(std::size_t approximations_length, std::size_t details_length) const {
        return executor_.idwt_size({approximations_length, details_length});
    }

    // Synthesises the next level from the first `approximations_length` (at most input_length())
    // approximations and `details` into the turn-taking arrays; the executor's error, if any, is
    // returned unchanged.
    UndraStatus next(std::size_t approximations_length, std::span<const float> details);
    // As next, into `output` instead: zero-filled by the caller and of output_length().
    UndraStatus next_into(std::size_t approximations_length, std::span<const float> details,
                          std::span<float> output);

    // The output of the last level run.
    std::span<float> output() const { return output_; }

  private:
    const IncompleteDwtExecutor& executor_;
    std::span<float> buffers_[2];
    bool zeroed_[2];
    std::span<const float> input_;
    std::span<float> output_;
    std::size_t levels_left_;
};

// How many of `available` reconstructed approximations (the decomposition's own for the
// coarsest level) a level synthesises beside `details_length` details, or the error refusing them.
using ApproximationsCut = std::function<UndraResult<std::size_t>(
    std::size_t available, std::size_t details_length, bool coarsest)>;

// The reconstruction of `view` into a new array, each level's approximations cut by `cut`;
// ZeroSizedInput when the view has no details or no approximations.
UndraResult<std::vector<float>> synthesise_levels(const IncompleteDwtExecutor& executor,
                                                  MultiDwtView view, const ApproximationsCut& cut);

}  // namespace Undra
