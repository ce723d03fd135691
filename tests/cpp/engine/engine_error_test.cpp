#include <gtest/gtest.h>

#include "engine/err.h"
#include "engine/util.h"

namespace Undra {
namespace {

struct MessageCase {
    UndraError error;
    const char* text;
};

class UndraErrorMessage : public ::testing::TestWithParam<MessageCase> {};

TEST_P(UndraErrorMessage, RendersExactText) {
    EXPECT_EQ(GetParam().error.message(), GetParam().text);
}

using K = UndraErrorKind;
INSTANTIATE_TEST_SUITE_P(
    AllKinds, UndraErrorMessage,
    ::testing::Values(
        MessageCase{{K::AllocationFailed, 40}, "Cannot allocate 40 bytes to vector"},
        MessageCase{{K::HalfLengthMismatch, 7},
                    "Approximation and details expected to be half of original signal length "
                    "but it was 7"},
        MessageCase{{K::ApproxDetailsMismatch, 2, 20},
                    "Approx and details must match, but they don't 2x20"},
        MessageCase{{K::NotDivisible, 2}, "Input must be divisible by 2"},
        MessageCase{{K::Overflow}, "Overflow is happened"},
        MessageCase{{K::OutputSizeMismatch, 12, 10}, "Output size should be 10, but it was 12"},
        MessageCase{{K::InputTooSmall, 7, 8}, "Input size 7 can't be less than 8"},
        MessageCase{{K::InputOutputMismatch, 3, 4}, "Input size 3 does not match output size 4"},
        MessageCase{{K::InvalidWavelet}, "Zero or odd sized wavelet"},
        MessageCase{{K::FilterCenterOutOfRange, 9, 8},
                    "Filter center 9 was larger than filter size 8"},
        MessageCase{{K::BufferTooSmallForLevel}, "Buffer was too small for provided level"},
        MessageCase{{K::ApproximationSizeMismatch, 4, 3},
                    "Approximate size 4 does not match required size 3"},
        MessageCase{{K::DetailsSizeMismatch, 1, 2},
                    "Details size 1 does not match required size 2"},
        MessageCase{{K::ZeroSizedInput}, "Zero sized input is not supported"},
        MessageCase{{K::InputSizeMismatch, 5, 6}, "Input size expected to be 5 but it was 6"},
        MessageCase{{K::ScratchTooSmall, 20, 19}, "Scratch size expected to be 20 but it was 19"}));

TEST(TryZeroed, RefusedAllocationIsAnError) {
    auto huge = try_zeroed<float>(std::size_t{1} << 62);
    ASSERT_FALSE(huge.has_value());
    EXPECT_EQ(huge.error().kind, UndraErrorKind::AllocationFailed);
    auto small = try_zeroed<float>(3);
    ASSERT_TRUE(small.has_value());
    EXPECT_EQ(*small, std::vector<float>(3, 0.0f));
}

}  // namespace
}  // namespace Undra
