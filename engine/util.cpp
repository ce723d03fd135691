#include "engine/util.h"

#if UNDRA_X86_VARIANTS
#include <cpuid.h>
#endif

#include <cstdint>

namespace Undra {

namespace {

#if UNDRA_X86_VARIANTS
CpuFeatures detect() {
    CpuFeatures f;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return f;
    f.sse41 = (ecx & bit_SSE4_1) != 0;
    f.sse42 = (ecx & bit_SSE4_2) != 0;
    const bool has_fma = (ecx & bit_FMA) != 0;
    const bool has_avx = (ecx & bit_AVX) != 0;
    const bool os_saves_ymm = [&] {
        if ((ecx & bit_OSXSAVE) == 0 || !has_avx) return false;
        uint32_t lo = 0, hi = 0;
        __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        return (lo & 0x6) == 0x6;  // XMM and YMM state enabled
    }();
    bool has_avx2 = false;
    if (__get_cpuid_max(0, nullptr) >= 7) {
        __cpuid_count(7, 0, eax, ebx, ecx, edx);
        has_avx2 = (ebx & bit_AVX2) != 0;
    }
    f.avx2 = has_avx2 && os_saves_ymm;
    f.fma = has_fma && os_saves_ymm;
    return f;
}
#else
// No x86 instruction sets on this processor: every feature stays off.
CpuFeatures detect() {
    return {};
}
#endif

}  // namespace

const CpuFeatures& cpu_features() {
    static const CpuFeatures features = detect();  // C++ guarantees thread-safe init
    return features;
}

}  // namespace Undra
