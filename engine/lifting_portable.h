// Portable arithmetic back end of the lifting steps: every update is three separately rounded
// operations (sum, product, sum), which the build keeps from being contracted into an FMA.
#pragma once

#include <algorithm>
#include <cstddef>

#include "engine/lifting_steps.h"

namespace Undra::lifting {

struct PortableArith {
    static float lift(float t, float w, float a, float b) {
        float sum = a + b;
        sum = sum * w;
        return sum + t;
    }

    static void lift_pairs(float* t, const float* src, std::size_t count, float w) {
        for (std::size_t k = 0; k < count; ++k) t[k] = lift(t[k], w, src[k], src[k + 1]);
    }

    static void split_predict(const float* x, std::size_t count, float* s, float* d, float w) {
        for (std::size_t k = 0; k < count; ++k) {
            s[k] = x[2 * k];
            d[k] = lift(x[2 * k + 1], w, x[2 * k], x[2 * k + 2]);
        }
    }

    static void merge_predict(const float* s, const float* d, std::size_t count, float w,
                              float* y) {
        for (std::size_t k = 0; k < count; ++k) {
            y[2 * k] = s[k];
            y[2 * k + 1] = lift(d[k], w, s[k], s[k + 1]);
        }
    }

    static void scale_copy(float* dst, const float* src, std::size_t n, float k) {
        for (std::size_t i = 0; i < n; ++i) dst[i] = src[i] * k;
    }
};

PortableArith arithmetic_for(IsaTag<Isa::Portable>);

}  // namespace Undra::lifting
