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

    // Signals of 3 samples and more; the inverse copies only the approximations, a window at a
    // time.
    static constexpr LiftingShape kShape{3, 6};

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

    // One synthesis level of s (e) and d (o) into y (e + o); the caller's details are read
    // directly, the working copy of the approximations lives in a window of kChunk + 1 elements
    // on the stack. Each round reads nothing below the last round's `merged`, so the window
    // starts there and the steps run on window-relative indices (sizes e - base and o - base, d
    // from base, y from 2 * base); every later round's update starts at window index 1, never
    // at the left border.
    template <class A>
    static void inverse(const float* s, const float* d, std::size_t e, std::size_t o, float* y) {
        float work[lifting::kChunk + 1];
        std::size_t base = 0, updated = 0, merged = 0;
        while (merged < e) {
            lifting::slide_window(work, merged - base, updated - merged);
            base = merged;
            const std::size_t le = e - base, lo = o - base, u = updated - base;
            const std::size_t a1 = std::min(u + lifting::kChunk, le);
            std::memcpy(work + u, s + updated, (a1 - u) * sizeof(float));
            lifting::update_range<A>(work, d + base, le, lo, -kUpdate, u, a1);
            // y[2k+1] needs work[k+1], final once its update ran.
            const std::size_t a2 = a1 == le ? le : a1 - 1;
            lifting::merge_range<A>(work, d + base, le, lo, -kPredict, y + 2 * base, 0, a2);
            updated = base + a1;
            merged = base + a2;
        }
    }
};

}  // namespace Undra
