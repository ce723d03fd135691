// The wavelet engine's error value: a kind and up to two size arguments, rendered on demand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>

namespace Undra {

enum class UndraErrorKind : uint8_t {
    AllocationFailed = 0,
    HalfLengthMismatch = 1,
    ApproxDetailsMismatch = 2,
    NotDivisible = 3,
    Overflow = 4,
    OutputSizeMismatch = 5,
    InputTooSmall = 6,
    InputOutputMismatch = 7,
    InvalidWavelet = 8,
    FilterCenterOutOfRange = 9,
    BufferTooSmallForLevel = 10,
    ApproximationSizeMismatch = 11,
    DetailsSizeMismatch = 12,
    ZeroSizedInput = 13,
    InputSizeMismatch = 14,
    ScratchTooSmall = 15,
};

// An engine failure; `first` and `second` are the kind's size arguments in declared order.
// For OutputSizeMismatch they are (actual, expected); the message names the expected size first.
struct UndraError {
    UndraErrorKind kind;
    std::size_t first = 0;
    std::size_t second = 0;

    // The user-facing text of this error; never fails.
    std::string message() const;

    bool operator==(const UndraError&) const = default;
};

template <typename T>
using UndraResult = std::expected<T, UndraError>;
using UndraStatus = std::expected<void, UndraError>;

// Builds the error value `std::unexpected(UndraError{kind, a, b})`.
inline std::unexpected<UndraError> undra_fail(UndraErrorKind kind, std::size_t a = 0,
                                              std::size_t b = 0) {
    return std::unexpected(UndraError{kind, a, b});
}

}  // namespace Undra
