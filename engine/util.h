// Engine-wide helpers: fallible allocation and the cached processor-feature record (the paths
// chosen from it: processor_path.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "engine/err.h"
#include "engine/processor_path.h"

namespace Undra {

// Processor features that the engine's variants need; AVX2 and FMA count only when the
// operating system saves the extended (YMM) register state.
struct CpuFeatures {
    bool sse41 = false;
    bool sse42 = false;
    bool avx2 = false;
    bool fma = false;
};

// The process-wide feature record, detected once (thread safe) and then only read.
const CpuFeatures& cpu_features();

// A zero-filled vector of n elements, or AllocationFailed with its size in bytes.
template <typename T>
UndraResult<std::vector<T>> try_zeroed(std::size_t n) {
    if (n > std::vector<T>().max_size()) {
        return undra_fail(UndraErrorKind::AllocationFailed, SIZE_MAX);
    }
    try {
        return std::vector<T>(n);
    } catch (const std::bad_alloc&) {
        return undra_fail(UndraErrorKind::AllocationFailed, n * sizeof(T));
    }
}

// An array of n elements left uninitialised, or AllocationFailed with its size in bytes.
template <typename T>
UndraResult<std::unique_ptr<T[]>> try_uninitialised(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T)) return undra_fail(UndraErrorKind::AllocationFailed, SIZE_MAX);
    std::unique_ptr<T[]> array(new (std::nothrow) T[n]);
    if (!array) return undra_fail(UndraErrorKind::AllocationFailed, n * sizeof(T));
    return array;
}

// An owned copy of `values`, or AllocationFailed with its size in bytes.
template <typename T>
UndraResult<std::vector<T>> try_copy(std::span<const T> values) {
    try {
        return std::vector<T>(values.begin(), values.end());
    } catch (const std::bad_alloc&) {
        return undra_fail(UndraErrorKind::AllocationFailed, values.size() * sizeof(T));
    }
}

// Resizes `v` to n elements (new ones zero), or AllocationFailed with the new size in bytes.
template <typename T>
UndraStatus try_resize(std::vector<T>& v, std::size_t n) {
    if (n > v.max_size()) return undra_fail(UndraErrorKind::AllocationFailed, SIZE_MAX);
    try {
        v.resize(n);
        return {};
    } catch (const std::bad_alloc&) {
        return undra_fail(UndraErrorKind::AllocationFailed, n * sizeof(T));
    }
}

}  // namespace Undra
