// The filter-bank executor for any tap count: the signal is first copied with its extension
// into a padding arena (the scratch array), then filtered as a plain array.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "engine/executor.h"
#include "engine/filter_bank.h"
#include "engine/filter_kernels.h"
#include "engine/filter_padding.h"
#include "engine/util.h"

namespace Undra {

template <Isa I>
class GeneralTapsExecutor final : public IncompleteDwtExecutor {
  public:
    // Keeps the low-pass filter and derives the high-pass one. The tap count must be even and
    // non-zero; with any other length every transform fails with InvalidWavelet.
    GeneralTapsExecutor(BorderMode border, std::span<const float> low_pass)
        : low_pass_(low_pass.begin(), low_pass.end()),
          high_pass_(low_pass.size()),
          filter_length_(low_pass.size()),
          border_mode_(border),
          kernels_(filter_kernels<0, I>()) {
        low_pass_to_high(low_pass_, high_pass_);
    }

    UndraStatus execute_forward(std::span<const float> input, std::span<float> approximations,
                                std::span<float> details) const override {
        if (auto ok = check(input, approximations, details); !ok) return ok;
        auto scratch = try_zeroed<float>(required_scratch_size(input.size()));
        if (!scratch) return std::unexpected(scratch.error());
        return execute_forward_with_scratch(input, approximations, details, *scratch);
    }

    // Leaves the padded signal in scratch[0 .. L-1], L = required_scratch_size(n).
    UndraStatus execute_forward_with_scratch(std::span<const float> input,
                                             std::span<float> approximations,
                                             std::span<float> details,
                                             std::span<float> scratch) const override {
        if (auto ok = check(input, approximations, details); !ok) return ok;
        const std::size_t n = input.size();
        const std::size_t arena_length = required_scratch_size(n);
        if (scratch.size() < arena_length) {
            return undra_fail(UndraErrorKind::ScratchTooSmall, arena_length, scratch.size());
        }
        const std::size_t pad_left = (arena_length - n) / 2;
        const std::size_t pad_right = arena_length - n - pad_left;
        const ArenaWriter1d write_arena = MakeArenaFactoryProvider::make_arena_writer_1d_executor();
        write_arena(input, scratch.first(arena_length), pad_left, pad_right, border_mode_);
        kernels_.analyse(scratch.data(), approximations.size(), filter_length_, low_pass_.data(),
                         high_pass_.data(), approximations.data(), details.data());
        return {};
    }

    std::size_t required_scratch_size(std::size_t input_length) const override {
        return filter_bank_arena_length(input_length, filter_length_);
    }

    DwtSize dwt_size(std::size_t input_length) const override {
        const std::size_t m = filter_bank_half_length(input_length, filter_length_);
        return {m, m};
    }

    UndraStatus execute_inverse(std::span<const float> approximations,
                                std::span<const float> details,
                                std::span<float> output) const override {
        if (!valid()) return undra_fail(UndraErrorKind::InvalidWavelet);
        return filter_bank_synthesise(kernels_, low_pass_, high_pass_, approximations, details,
                                      output);
    }

    std::size_t idwt_size(DwtSize sizes) const override {
        return filter_bank_idwt_size(sizes.approximations_length, filter_length_);
    }

    std::size_t filter_length() const override { return filter_length_; }

    BorderMode border_mode() const { return border_mode_; }

  private:
    bool valid() const { return filter_length_ != 0 && filter_length_ % 2 == 0; }

    UndraStatus check(std::span<const float> input, std::span<const float> approximations,
                      std::span<const float> details) const {
        if (!valid()) return undra_fail(UndraErrorKind::InvalidWavelet);
        return check_analysis_sizes(input.size(), filter_length_, approximations.size(),
                                    details.size());
    }

    std::vector<float> low_pass_;
    std::vector<float> high_pass_;
    std::size_t filter_length_;
    BorderMode border_mode_;
    FilterKernels kernels_;
};

// The general filter bank, portable form.
using WaveletNTaps = GeneralTapsExecutor<Isa::Portable>;

}  // namespace Undra
