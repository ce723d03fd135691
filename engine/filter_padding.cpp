#include "engine/filter_padding.h"

#include <algorithm>

#include "engine/border_mode.h"
#include "engine/util.h"

namespace Undra {

void write_arena_1d_pads(std::span<const float> source, std::span<float> arena,
                         std::size_t pad_left, std::size_t pad_right, BorderMode mode) {
    const BorderInterpolation border(mode, source.size());
    const auto n = static_cast<int64_t>(source.size());
    border.gather(source.data(), -static_cast<int64_t>(pad_left), pad_left, arena.data());
    border.gather(source.data(), n, pad_right, arena.data() + pad_left + source.size());
}

void write_arena_1d_impl(std::span<const float> source, std::span<float> arena,
                         std::size_t pad_left, std::size_t pad_right, BorderMode mode) {
    std::copy(source.begin(), source.end(), arena.begin() + static_cast<std::ptrdiff_t>(pad_left));
    write_arena_1d_pads(source, arena, pad_left, pad_right, mode);
}

ArenaWriter1d MakeArenaFactoryProvider::make_arena_writer_1d_executor() {
    static const ArenaWriter1d MAKE_ARENA_1D_DISPATCH = [] {
#if UNDRA_X86_VARIANTS
        switch (select_isa(PathRule::ArenaWriter)) {
            case Isa::Avx:
                return &write_arena_1d_avx;
            case Isa::Sse:
                return &write_arena_1d_sse4_1;
            case Isa::Portable:
                break;
        }
#endif
        return &write_arena_1d_impl;
    }();
    return MAKE_ARENA_1D_DISPATCH;
}

}  // namespace Undra
