// AVX2 form of the padding-arena writer: the middle copy in 256-bit moves.
#include <immintrin.h>

#include "engine/filter_padding.h"

namespace Undra {

void write_arena_1d_avx(std::span<const float> source, std::span<float> arena, std::size_t pad_left,
                        std::size_t pad_right, BorderMode mode) {
    const float* src = source.data();
    float* dst = arena.data() + pad_left;
    const std::size_t n = source.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) _mm256_storeu_ps(dst + i, _mm256_loadu_ps(src + i));
    for (; i < n; ++i) dst[i] = src[i];
    write_arena_1d_pads(source, arena, pad_left, pad_right, mode);
}

}  // namespace Undra
