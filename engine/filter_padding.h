// The padding-arena writer: copies a signal into a working array with extended samples on
// both sides, so that a filter can then run over the arena as a plain array.
#pragma once

#include <cstddef>
#include <span>

#include "engine/executor.h"

namespace Undra {

// Writes arena = x̃[-pad_left], ..., x̃[n - 1 + pad_right] for the source x of n >= 1 samples;
// the caller guarantees n + pad_left + pad_right == arena.size().
using ArenaWriter1d = void (*)(std::span<const float> source, std::span<float> arena,
                               std::size_t pad_left, std::size_t pad_right, BorderMode mode);

// Portable writer.
void write_arena_1d_impl(std::span<const float> source, std::span<float> arena,
                         std::size_t pad_left, std::size_t pad_right, BorderMode mode);
// SSE4.1 writer (engine/sse); only call it when the processor has SSE4.1.
void write_arena_1d_sse4_1(std::span<const float> source, std::span<float> arena,
                           std::size_t pad_left, std::size_t pad_right, BorderMode mode);
// AVX2 writer (engine/avx); only call it when the processor has AVX2.
void write_arena_1d_avx(std::span<const float> source, std::span<float> arena, std::size_t pad_left,
                        std::size_t pad_right, BorderMode mode);

// Writes only the pad_left samples before and the pad_right samples after the copied signal;
// every writer shares it (the pads are short, the middle copy is where the time goes).
void write_arena_1d_pads(std::span<const float> source, std::span<float> arena,
                         std::size_t pad_left, std::size_t pad_right, BorderMode mode);

struct MakeArenaFactoryProvider {
    // The writer for this processor, chosen on first use (thread safe) and kept for the process:
    // the path of PathRule::ArenaWriter (AVX2, else SSE4.1, else portable), which no test override
    // pins. All three write identical arenas.
    static ArenaWriter1d make_arena_writer_1d_executor();
};

}  // namespace Undra
