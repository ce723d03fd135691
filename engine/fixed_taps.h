// The filter-bank executor with a tap count fixed at compile time: the filters live in the
// object, the interior of the signal is read in place and only the few outputs whose window
// crosses an end of the signal go through the border mode.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>

#include "engine/border_mode.h"
#include "engine/executor.h"
#include "engine/filter_bank.h"
#include "engine/filter_kernels.h"

namespace Undra {

template <std::size_t N, Isa I>
class FixedTapsExecutor final : public IncompleteDwtExecutor {
    static_assert(N >= 2 && N % 2 == 0, "an orthogonal filter bank has an even tap count");

  public:
    // Keeps the low-pass filter and derives the high-pass one from it.
    FixedTapsExecutor(BorderMode border, std::span<const float, N> low_pass)
        : border_mode_(border), kernels_(filter_kernels<N, I>()) {
        std::copy(low_pass.begin(), low_pass.end(), low_pass_.begin());
        low_pass_to_high(low_pass_, high_pass_);
    }

    UndraStatus execute_forward(std::span<const float> input, std::span<float> approximations,
                                std::span<float> details) const override {
        if (auto ok = check_analysis_sizes(input.size(), N, approximations.size(), details.size());
            !ok) {
            return ok;
        }
        constexpr std::size_t lead = N / 2 - 1;  // outputs whose window starts left of x[0]
        const std::size_t n = input.size();
        const BorderInterpolation border(border_mode_, n);
        std::array<float, 2 * N> edge;
        const float* x = input.data();
        if constexpr (lead > 0) {
            border.gather(x, -static_cast<int64_t>(N - 2), 2 * lead + N - 2, edge.data());
            analyse(edge.data(), 0, lead, approximations, details);
        }
        // Output i reads x[2i - N + 2 .. 2i + 1]: inside the signal for lead <= i < n / 2.
        const std::size_t right = n / 2;
        analyse(x, lead, right - lead, approximations, details);
        const std::size_t tail = approximations.size() - right;
        if (tail > 0) {
            border.gather(x, static_cast<int64_t>(2 * right) - static_cast<int64_t>(N - 2),
                          2 * tail + N - 2, edge.data());
            analyse(edge.data(), right, tail, approximations, details);
        }
        return {};
    }

    // Needs no scratch: the same as execute_forward.
    UndraStatus execute_forward_with_scratch(std::span<const float> input,
                                             std::span<float> approximations,
                                             std::span<float> details,
                                             std::span<float>) const override {
        return execute_forward(input, approximations, details);
    }

    std::size_t required_scratch_size(std::size_t) const override { return 0; }

    DwtSize dwt_size(std::size_t input_length) const override {
        const std::size_t m = filter_bank_half_length(input_length, N);
        return {m, m};
    }

    UndraStatus execute_inverse(std::span<const float> approximations,
                                std::span<const float> details,
                                std::span<float> output) const override {
        return filter_bank_synthesise(kernels_, low_pass_, high_pass_, approximations, details,
                                      output);
    }

    std::size_t idwt_size(DwtSize sizes) const override {
        return filter_bank_idwt_size(sizes.approximations_length, N);
    }

    std::size_t filter_length() const override { return N; }

    BorderMode border_mode() const { return border_mode_; }

  private:
    // Outputs first .. first + count - 1 from a window whose sample 0 is the first one's.
    void analyse(const float* window, std::size_t first, std::size_t count,
                 std::span<float> approximations, std::span<float> details) const {
        kernels_.analyse(window, count, N, low_pass_.data(), high_pass_.data(),
                         approximations.data() + first, details.data() + first);
    }

    BorderMode border_mode_;
    std::array<float, N> low_pass_;
    std::array<float, N> high_pass_;
    FilterKernels kernels_;
};

}  // namespace Undra
