// The multi-level analysis loop, shared by the executors' multi-level operations and the codec.
// Level k analyses the approximations of level k - 1 (level 0 the signal) through the executor's
// one-level operation. The outputs go either to arrays the caller hands each level or to two
// caller arrays for the approximations that take turns and one for the details, reused from level
// to level, so a level allocates nothing (only the scratch of the executors that need one grows
// when a level needs more).
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "engine/executor.h"

namespace Undra {

class LevelAnalysis {
  public:
    // Level k writes its approximations into `even` for even k, into `odd` for odd k (`odd` may
    // be the signal's own array: level 0 has read it by then). Each array and `details` must hold
    // the largest output it receives, which is that of its first level whenever every level's
    // input reaches the executor's filter length.
    LevelAnalysis(const IncompleteDwtExecutor& executor, std::span<const float> signal,
                  std::span<float> even, std::span<float> odd, std::span<float> details);
    // An analysis whose every level goes to the arrays given to next_into.
    LevelAnalysis(const IncompleteDwtExecutor& executor, std::span<const float> signal);

    // The number of levels run so far, and the input length of the next one.
    std::size_t levels() const { return levels_; }
    std::size_t input_length() const { return input_.size(); }

    // The output lengths of the next level.
    DwtSize next_size() const { return executor_.dwt_size(input_.size()); }

    // Runs the next level into the turn-taking arrays; the executor's error is returned unchanged.
    UndraStatus next();
    // Runs the next level into arrays of next_size() lengths; the approximations must stay in
    // place until the level after has read them.
    UndraStatus next_into(std::span<float> approximations, std::span<float> details);

    // The approximations of `level`, valid while no later level has reused their array: those of
    // the last two levels run.
    std::span<float> approximations(std::size_t level) const { return approximations_[level % 2]; }
    // The details of the last level run, valid until the next one.
    std::span<float> details() const { return details_; }

  private:
    const IncompleteDwtExecutor& executor_;
    std::span<float> buffers_[2];
    std::span<float> details_buffer_;
    std::span<float> approximations_[2];
    std::span<float> details_;
    std::span<const float> input_;
    std::vector<float> scratch_;
    std::size_t levels_ = 0;
};

// Every level of a `levels`-step analysis of `signal` (0 counts as 1) as owned copies, finest
// first. When `min_input` is non-zero, a level whose input is shorter fails the call with
// BufferTooSmallForLevel.
UndraResult<MultiDwt> analyse_levels(const IncompleteDwtExecutor& executor,
                                     std::span<const float> signal, std::size_t levels,
                                     std::size_t min_input);

// The approximations and details of the last of `level` analysis steps (0 counts as 1), checked
// like analyse_levels.
UndraResult<Dwt> analyse_to_level(const IncompleteDwtExecutor& executor,
                                  std::span<const float> signal, std::size_t level,
                                  std::size_t min_input);

}  // namespace Undra
