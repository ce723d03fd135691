#include "engine/err.h"

namespace Undra {

namespace {

std::string num(std::size_t v) { return std::to_string(v); }

}  // namespace

std::string UndraError::message() const {
    using K = UndraErrorKind;
    switch (kind) {
        case K::AllocationFailed:
            return "Cannot allocate " + num(first) + " bytes to vector";
        case K::HalfLengthMismatch:
            return "Approximation and details expected to be half of original signal length but "
                   "it was " +
                   num(first);
        case K::ApproxDetailsMismatch:
            return "Approx and details must match, but they don't " + num(first) + "x" +
                   num(second);
        case K::NotDivisible:
            return "Input must be divisible by " + num(first);
        case K::Overflow:
            return "Overflow is happened";
        case K::OutputSizeMismatch:
            return "Output size should be " + num(second) + ", but it was " + num(first);
        case K::InputTooSmall:
            return "Input size " + num(first) + " can't be less than " + num(second);
        case K::InputOutputMismatch:
            return "Input size " + num(first) + " does not match output size " + num(second);
        case K::InvalidWavelet:
            return "Zero or odd sized wavelet";
        case K::FilterCenterOutOfRange:
            return "Filter center " + num(first) + " was larger than filter size " + num(second);
        case K::BufferTooSmallForLevel:
            return "Buffer was too small for provided level";
        case K::ApproximationSizeMismatch:
            return "Approximate size " + num(first) + " does not match required size " +
                   num(second);
        case K::DetailsSizeMismatch:
            return "Details size " + num(first) + " does not match required size " + num(second);
        case K::ZeroSizedInput:
            return "Zero sized input is not supported";
        case K::InputSizeMismatch:
            return "Input size expected to be " + num(first) + " but it was " + num(second);
        case K::ScratchTooSmall:
            return "Scratch size expected to be " + num(first) + " but it was " + num(second);
    }
    return "Unknown engine error";
}

}  // namespace Undra
