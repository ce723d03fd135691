// Method 3 (docs/format.md, "Version 2"): the first differences d of the grid indices less a
// linear prediction from the differences before them, with integer coefficients chosen per
// frame of kFrame residuals and stored at the start of the block that holds the frame:
//
//   prediction = (sum over j < taps of c[j] x d[i - 1 - j] + 2^shift / 2) >> shift   (floor)
//   residual   = d[i] - prediction
//
// with d before the first index taken as 0. Frames restart at each block's start. The
// arithmetic is int64 and cannot overflow: |d| < 2^32, |c| <= 2^15 and taps <= 32 keep the sum
// below 2^52, and the decoder checks every index it rebuilds before it enters the history.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kestova::v2 {

inline constexpr std::size_t kFrame = 4096;
inline constexpr int kMaxTaps = 32;
inline constexpr int kMaxShift = 15;

// The most taps the encoder tries: 32 taps store 0.05 % fewer bytes than 16 on the recordings
// measured (docs/v2-research.md) but cost every decoded sample twice the multiplies.
inline constexpr int kSearchTaps = 16;

// One frame's predictor: no taps means the residual is the first difference itself.
struct Frame {
    uint8_t taps = 0;
    uint8_t shift = 0;
    std::array<int16_t, kMaxTaps> coefficients{};
};

// The predictor's state between frames and blocks: the last index and the differences before
// the next one (recent[0] the latest).
struct LinearState {
    int64_t last = 0;
    std::array<int64_t, kMaxTaps> recent{};
};

// The frames of a whole signal and what their residuals cost: the sum of the residuals' bit
// lengths plus 8 bits per byte of the frames' descriptions; and, measured on the way, the sums
// of the bit lengths of the plain first and second differences (methods 1 and 2).
struct LinearPlan {
    std::vector<Frame> frames;  // frame f covers residuals from f x kFrame (within its block)
    uint64_t bits = 0;
    uint64_t first_difference_bits = 0;
    uint64_t second_difference_bits = 0;
    bool second_differences_fit = true;  // every second difference below kResidualLimit
    // The chosen frames' residuals in order (what linear_residuals gives), kept when every one
    // fits int32 so that the encoder need not compute them again; else residuals_kept is false
    // and residuals empty.
    std::vector<int32_t> residuals;
    bool residuals_kept = true;
};

// Chooses each frame's predictor: no taps, the second difference, or the taps (up to 16) whose
// prediction error the autocorrelation of its differences gives as the best saving, whichever
// integer residuals cost fewest bits, for indices coded in blocks of `block` residuals (a multiple
// of kFrame or less).
LinearPlan plan_linear(std::span<const uint32_t> indices, std::size_t block);

// The autocorrelation of one frame's differences (up to kFrame of them) at lags 0 to
// kSearchTaps, differences before the frame taken as 0: each lag's sum of products, in float64
// in sample order (the coefficients, and so the stream, depend on its last bit), or in any order
// where every product and sum is a whole number float64 holds exactly.
using Lags = std::array<double, kSearchTaps + 1>;
Lags autocorrelation(std::span<const int64_t> differences);

// The frames of one block of `count` residuals.
std::size_t frames_in(std::size_t count);

// residuals[j] for indices[j] with one frame per kFrame of them, continuing from `state`, which
// it advances. The frames' residuals are below 2^32 in magnitude (plan_linear sees to it).
void linear_residuals(std::span<const uint32_t> indices, std::span<const Frame> frames,
                      LinearState& state, std::span<int64_t> residuals);

// The frames' descriptions, appended to `out`: per frame its taps (a byte), and when taps > 0 its
// shift (a byte) and taps coefficients (int16, little-endian).
void append_frames(std::span<const Frame> frames, std::vector<uint8_t>& out);

// Reads frames.size() descriptions from the start of `bytes`: the bytes they take, or nothing
// when they do not fit or state more than kMaxTaps taps or a shift above kMaxShift.
std::optional<std::size_t> read_frames(std::span<const uint8_t> bytes, std::span<Frame> frames);

// Undoes linear_residuals in place, continuing from `state`; false when an index leaves
// 0 .. 2^32 - 1 (a stream the encoder cannot have written).
bool undo_linear(std::span<int64_t> values, std::span<const Frame> frames, LinearState& state);

}  // namespace kestova::v2
