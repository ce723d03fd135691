#include "codec/v2/sample_extent.h"

#if KESTOVA_SSE2_LOOPS
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>

namespace kestova::v2 {

#if KESTOVA_SSE2_LOOPS
// Four lanes with no branch: min_ps(x, m) is "x < m ? x : m", so each lane keeps its earliest
// extreme, and x - x is 0 exactly for finite x. Lanes can disagree with a sequential scan only
// about the sign of a zero extreme, settled afterwards from the first zero; a sample that is not
// finite sends the whole signal to the plain form, which names it.
std::expected<Extent, std::size_t> sse2_extent(std::span<const float> x) {
    const std::size_t n = x.size();
    const float* in = x.data();
    __m128 lowest = _mm_set1_ps(x[0]);
    __m128 highest = lowest;
    __m128 finite = _mm_castsi128_ps(_mm_set1_epi32(-1));
    const __m128 zero = _mm_setzero_ps();
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 v = _mm_loadu_ps(in + i);
        finite = _mm_and_ps(finite, _mm_cmpeq_ps(_mm_sub_ps(v, v), zero));
        lowest = _mm_min_ps(v, lowest);
        highest = _mm_max_ps(v, highest);
    }
    if (_mm_movemask_ps(finite) != 0xF) return plain_extent(x);
    alignas(16) float lows[4];
    alignas(16) float highs[4];
    _mm_store_ps(lows, lowest);
    _mm_store_ps(highs, highest);
    float low = lows[0];
    float high = highs[0];
    for (int lane = 1; lane < 4; ++lane) {
        low = std::min(low, lows[lane]);
        high = std::max(high, highs[lane]);
    }
    for (; i < n; ++i) {
        if (!std::isfinite(in[i])) return std::unexpected(i);
        low = std::min(low, in[i]);
        high = std::max(high, in[i]);
    }
    const auto first_zero = [&](float zero_extreme) {
        const auto it = std::find(x.begin(), x.end(), 0.0f);
        return it != x.end() ? *it : zero_extreme;
    };
    if (low == 0.0f) low = first_zero(low);
    if (high == 0.0f) high = first_zero(high);
    return Extent{low, high};
}
#endif

}  // namespace kestova::v2
