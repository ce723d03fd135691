#include "codec/quantize.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kestova {

int32_t cutoff_threshold(uint8_t scale, CutoffLevel cutoff) {
    static constexpr std::array<int32_t, 7> kBase = {0, 0, 1, 1, 2, 2, 3};  // scales 6..12
    const std::size_t index = std::clamp<std::size_t>(scale, 6, 12) - 6;
    const int32_t factor = cutoff == CutoffLevel::Low ? 1 : cutoff == CutoffLevel::Medium ? 3 : 7;
    return kBase[index] * factor;
}

void quantize(std::span<const float> in, float multiplier, int32_t threshold,
              std::span<int16_t> out) {
    const float* src = in.data();
    int16_t* dst = out.data();
    const std::size_t n = in.size();
    for (std::size_t i = 0; i < n; ++i) {
        float p = src[i] * multiplier;
        p = p < -32768.0f ? -32768.0f : p;  // infinities saturate; NaN passes both tests
        p = p > 32767.0f ? 32767.0f : p;
        p = p == p ? p : 0.0f;                // NaN never reaches the conversion
        int32_t q = static_cast<int32_t>(p);  // truncation toward zero
        q = (q < threshold && q > -threshold) ? 0 : q;
        dst[i] = static_cast<int16_t>(q);
    }
}

void dequantize(std::span<const uint8_t> image, float factor, std::span<float> out) {
    const uint8_t* src = image.data();
    float* dst = out.data();
    const std::size_t n = out.size();
    for (std::size_t i = 0; i < n; ++i) {
        const int16_t q =
            static_cast<int16_t>(static_cast<uint16_t>(src[2 * i] | (src[2 * i + 1] << 8)));
        dst[i] = static_cast<float>(q) * factor;
    }
}

}  // namespace kestova
