// Engine-wide helpers: fallible allocation and the cached processor-feature record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "engine/err.h"

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

// Instruction-set variant of an executor.
enum class Isa { Portable, Sse, Avx };

// Whether this build holds the SSE and AVX variants: they exist only for x86 processors (CMake
// compiles engine/sse and engine/avx only there). Elsewhere the factories build the portable
// variant for every Isa, and isa_supported says Sse and Avx are not available.
#if defined(__x86_64__) || defined(__i386__)
#define UNDRA_X86_VARIANTS 1
#else
#define UNDRA_X86_VARIANTS 0
#endif
inline constexpr bool kX86VariantsBuilt = UNDRA_X86_VARIANTS != 0;

// The variant every factory picks: Avx with AVX2 and FMA, else Sse with SSE4.2 (when the
// executor has an SSE form), else Portable.
Isa select_isa(bool has_sse_variant);

// True when this processor can run the given variant.
bool isa_supported(Isa isa);

// Every variant this processor can run, Portable first; tests iterate over it.
std::vector<Isa> supported_isas();

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
