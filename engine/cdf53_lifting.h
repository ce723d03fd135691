// The CDF 5/3 (LeGall) lifting scheme in floating point, analysis gain 1 at zero frequency,
// written once over an arithmetic back end; see lifting_steps.h. All weights are powers of
// two, so every back end gives the same bits unless a product is subnormal.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "engine/lifting_executor.h"
#include "engine/lifting_steps.h"

namespace Undra {

// The CDF 5/3 scheme of LiftingTransform: its constants, size rules and kernels.
struct Cdf53Lifting {
    static constexpr float kPredict = -0.5f;
    static constexpr float kUpdate = 0.25f;

    // Signals of 3 samples and more; the inverse copies only the approximations.
    static constexpr LiftingShape kShape{3, 6, true};

    // One analysis level of x (n >= 3) into s (ceil(n/2)) and d (floor(n/2)), chunk by chunk so
    // that the update finds the split's results in cache.
    template <class A>
    static void forward(const float* x, std::size_t n, float* s, float* d) {
        const std::size_t e = n - n / 2;
        for (std::size_t done = 0; done < e;) {
            const std::size_t next = std::min(done + lifting::kChunk, e);
            lifting::split_range<A>(x, n, s, d, kPredict, done, next);
            lifting::update_range<A>(s, d, e, n / 2, kUpdate, done, next);
            done = next;
        }
    }

    // One synthesis level of s (e) and d (o) into y (e + o), using work (e floats); the caller's
    // details are read directly by the final predict.
    template <class A>
    static void inverse(const float* s, const float* d, std::size_t e, std::size_t o, float* work,
                        float* y) {
        std::size_t updated = 0, merged = 0;
        while (merged < e) {
            const std::size_t a1 = std::min(updated + lifting::kChunk, e);
            std::memcpy(work + updated, s + updated, (a1 - updated) * sizeof(float));
            lifting::update_range<A>(work, d, e, o, -kUpdate, updated, a1);
            // y[2k+1] needs work[k+1], final once its update ran.
            const std::size_t a2 = a1 == e ? e : a1 - 1;
            lifting::merge_range<A>(work, d, e, o, -kPredict, y, merged, a2);
            updated = a1;
            merged = a2;
        }
    }
};

}  // namespace Undra
