// The CDF 9/7 lifting scheme (Daubechies-Sweldens factorisation, analysis gain sqrt(2) at zero
// frequency), written once over an arithmetic back end; see lifting_steps.h.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "engine/lifting_executor.h"
#include "engine/lifting_steps.h"

namespace Undra {

// The CDF 9/7 scheme of LiftingTransform: its constants, size rules and kernels.
struct Cdf97Lifting {
    static constexpr float kAlpha = std::bit_cast<float>(uint32_t{0xBFCB0673});  // first predict
    static constexpr float kBeta = std::bit_cast<float>(uint32_t{0xBD5901AE});   // first update
    static constexpr float kGamma = std::bit_cast<float>(uint32_t{0x3F620676});  // second predict
    static constexpr float kDelta = std::bit_cast<float>(uint32_t{0x3EE31355});  // second update
    static constexpr float kScale = std::bit_cast<float>(uint32_t{0x3F93263D});  // approximations
    // Its own constant, one ulp above the rounded reciprocal of kScale.
    static constexpr float kDetailScale = std::bit_cast<float>(uint32_t{0x3F5EAF70});

    // Signals of 4 samples and more; the inverse keeps its working copies in a window of its own.
    static constexpr LiftingShape kShape{4, 10};

    // One analysis level of x (n >= 4) into s (ceil(n/2)) and d (floor(n/2)). The steps run chunk
    // by chunk, each as far as the previous step's results allow (a predict needs s[k+1], an update
    // d[j]); every element still goes through exactly the same operations as in whole-array passes.
    template <class A>
    static void forward(const float* x, std::size_t n, float* s, float* d) {
        const std::size_t e = n - n / 2;
        const std::size_t o = n / 2;
        std::size_t split = 0, first_update = 0, second_predict = 0, second_update = 0, scaled = 0;
        while (second_update < e) {
            const std::size_t a1 = std::min(split + lifting::kChunk, e);
            lifting::split_range<A>(x, n, s, d, kAlpha, split, a1);
            lifting::update_range<A>(s, d, e, o, kBeta, first_update, a1);
            const std::size_t a3 = a1 == e ? o : a1 - 1;
            lifting::predict_range<A>(d, s, e, o, kGamma, second_predict, a3);
            const std::size_t a4 = a3 == o ? e : a3;
            lifting::update_range<A>(s, d, e, o, kDelta, second_update, a4);
            lifting::scale_range<A>(s, s, kScale, second_update, a4);
            // d[k] is final once s[k+1] has taken it into its second update.
            const std::size_t a5 = a4 == e ? o : a4 - 1;
            lifting::scale_range<A>(d, d, kDetailScale, scaled, a5);
            split = first_update = a1;
            second_predict = a3;
            second_update = a4;
            scaled = a5;
        }
    }

    // One synthesis level of s (e) and d (o) into y (e + o); chunked like the forward step,
    // undoing its steps in reverse order. The working copies of s and d live in windows of
    // kWindow elements on the stack that slide along the level.
    template <class A>
    static void inverse(const float* s, const float* d, std::size_t e, std::size_t o, float* y) {
        // Each round reads no element below the last round's `merged` and writes none at or
        // above `merged` + 2 + kChunk, so the window starts at `merged` and the steps run on
        // window-relative indices (sizes e - base and o - base, y from 2 * base). A range that
        // starts at window index 0 with base > 0 would take the left border rule; none does,
        // since every later round's updates start at base + 1 and base + 2.
        float ws[kWindow];
        float wd[kWindow];
        std::size_t base = 0;
        std::size_t copied = 0, second_update = 0, second_predict = 0, first_update = 0, merged = 0;
        while (merged < e) {
            lifting::slide_window(ws, merged - base, copied - merged);
            lifting::slide_window(wd, merged - base, std::min(copied, o) - std::min(merged, o));
            base = merged;
            const std::size_t le = e - base, lo = o - base;
            const std::size_t c = copied - base;
            const std::size_t a0 = std::min(c + lifting::kChunk, le);
            lifting::scale_range<A>(ws, s + base, kDetailScale, c, a0);
            lifting::scale_range<A>(wd, d + base, kScale, std::min(c, lo), std::min(a0, lo));
            lifting::update_range<A>(ws, wd, le, lo, -kDelta, second_update - base, a0);
            const std::size_t a2 = a0 == le ? lo : a0 - 1;
            lifting::predict_range<A>(wd, ws, le, lo, -kGamma, second_predict - base, a2);
            const std::size_t a3 = a2 == lo ? le : a2;
            lifting::update_range<A>(ws, wd, le, lo, -kBeta, first_update - base, a3);
            const std::size_t a4 = a3 == le ? le : a3 - 1;
            lifting::merge_range<A>(ws, wd, le, lo, -kAlpha, y + 2 * base, merged - base, a4);
            copied = second_update = base + a0;
            second_predict = base + a2;
            first_update = base + a3;
            merged = base + a4;
        }
    }

  private:
    // The synthesis window: one chunk plus the two elements a round keeps from the one before.
    static constexpr std::size_t kWindow = lifting::kChunk + 2;
};

}  // namespace Undra
