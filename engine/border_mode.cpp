#include "engine/border_mode.h"

namespace Undra {

namespace {

int64_t period_of(BorderMode mode, int64_t n) {
    switch (mode) {
        case BorderMode::Wrap:
            return n;
        case BorderMode::Reflect:
            return 2 * n;
        case BorderMode::Reflect101:
            return n > 1 ? 2 * n - 2 : 1;
        case BorderMode::Clamp:
        case BorderMode::Zeros:
            break;
    }
    return 1;
}

}  // namespace

BorderInterpolation::BorderInterpolation(BorderMode mode, std::size_t n)
    : mode_(mode), n_(static_cast<int64_t>(n)), period_(period_of(mode, n_)) {}

int64_t BorderInterpolation::source_index(int64_t s) const {
    if (s >= 0 && s < n_) return s;
    switch (mode_) {
        case BorderMode::Clamp:
            return s < 0 ? 0 : n_ - 1;
        case BorderMode::Wrap:
            return period_.modulo(s);
        case BorderMode::Reflect: {
            // Mirror with the edge sample repeated: period 2n, x̃[-1] = x[0], x̃[n] = x[n-1].
            const int64_t r = period_.modulo(s);
            return r < n_ ? r : 2 * n_ - 1 - r;
        }
        case BorderMode::Reflect101: {
            // Mirror about the edge sample: period 2n-2, x̃[-1] = x[1], x̃[n] = x[n-2].
            if (n_ == 1) return 0;
            const int64_t r = period_.modulo(s);
            return r < n_ ? r : 2 * n_ - 2 - r;
        }
        case BorderMode::Zeros:
            break;
    }
    return -1;
}

void BorderInterpolation::gather(const float* x, int64_t first, std::size_t count,
                                 float* out) const {
    for (std::size_t k = 0; k < count; ++k) {
        const int64_t index = source_index(first + static_cast<int64_t>(k));
        out[k] = index < 0 ? 0.0f : x[index];
    }
}

}  // namespace Undra
