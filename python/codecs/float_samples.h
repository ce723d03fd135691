// The float32 samples a held buffer holds, and compressions run without the interpreter lock.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <vector>

#include "codec/chunk/sample_checks.h"
#include "codec/error.h"

namespace kestova::codecs {

// The float32 samples that `bytes` holds; nothing (ValueError set) when its length or alignment
// does not fit whole floats.
std::optional<std::span<const float>> as_samples(std::span<const uint8_t> bytes);

// What a compression without the interpreter lock ends in; turned into Python objects after.
template <typename Result>
struct UnlockedOutcome {
    NonFinite non_finite;
    std::optional<KestovaResult<Result>> result;
    std::exception_ptr fault;
};

// Runs `compress` on `samples` with the interpreter lock released, unless some sample is not
// finite.
template <typename Result, typename Compress>
UnlockedOutcome<Result> compress_unlocked(std::span<const float> samples, Compress&& compress) {
    UnlockedOutcome<Result> outcome;
    Py_BEGIN_ALLOW_THREADS try {
        outcome.non_finite = find_non_finite(samples);
        if (outcome.non_finite.count == 0) outcome.result.emplace(compress(samples));
    } catch (...) {
        outcome.fault = std::current_exception();
    }
    Py_END_ALLOW_THREADS return outcome;
}

// Raises the Python exception for an outcome without a result (a fault or non-finite samples)
// and returns true; false when the outcome has its result.
template <typename Result>
bool raise_unfinished(const UnlockedOutcome<Result>& outcome);

// Raises ValueError for `non_finite`.
void raise_non_finite(const NonFinite& non_finite);

// Raises the internal fault of an outcome (a C++ exception).
void raise_fault(std::exception_ptr fault);

template <typename Result>
bool raise_unfinished(const UnlockedOutcome<Result>& outcome) {
    if (outcome.fault) {
        raise_fault(outcome.fault);
        return true;
    }
    if (outcome.non_finite.count > 0) {
        raise_non_finite(outcome.non_finite);
        return true;
    }
    return false;
}

}  // namespace kestova::codecs
