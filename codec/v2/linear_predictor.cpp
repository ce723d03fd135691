#include "codec/v2/linear_predictor.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>

#include "codec/v2/class_coder.h"
#include "codec/v2/grid.h"
#include "codec/v2/predictor.h"

namespace kestova::v2 {

namespace {

// Frames whose first differences average fewer bits than this are not analysed: 0.2 % more bytes
// at 1e-2 of the range, 0.1 % at 1e-3, for a fifth of the encoder's time at 1e-2.
constexpr double kAnalysedBits = 0.5;

// A frame's differences at kMaxTaps onwards, the history before them.
using FrameBuffer = std::array<int64_t, kMaxTaps + kFrame>;

// The prediction for the difference at `d` from the Taps before it (the same in encoder and
// decoder: integer arithmetic only; frame.taps == Taps). The count is fixed at compile time, so
// the loop unrolls. The sum runs from the oldest difference to the latest: a decoder has just
// rebuilt d[-1], and adding its product last keeps one multiply and three adds, not the whole
// sum, between one rebuilt difference and the next (exact integers: the order changes nothing).
template <int Taps>
int64_t prediction(const Frame& frame, const int64_t* d) {
    int64_t sum = (int64_t{1} << frame.shift) >> 1;
    for (int j = Taps - 1; j >= 0; --j) sum += int64_t{frame.coefficients[j]} * d[-1 - j];
    return sum >> frame.shift;
}

void load_history(const LinearState& state, FrameBuffer& buffer) {
    for (int j = 0; j < kMaxTaps; ++j) buffer[kMaxTaps - 1 - j] = state.recent[j];
}

void keep_history(const FrameBuffer& buffer, std::size_t count, LinearState& state) {
    for (int j = 0; j < kMaxTaps; ++j) state.recent[j] = buffer[kMaxTaps + count - 1 - j];
}

// The differences of one frame into the buffer (after its history), advancing state.last.
void load_differences(std::span<const uint32_t> indices, LinearState& state, FrameBuffer& buffer) {
    load_history(state, buffer);
    if (indices.empty()) return;
    // Each difference from the indices alone (no value carried from one to the next): vectorised.
    buffer[kMaxTaps] = int64_t{indices[0]} - state.last;
    for (std::size_t i = 1; i < indices.size(); ++i) {
        buffer[kMaxTaps + i] = int64_t{indices[i]} - int64_t{indices[i - 1]};
    }
    state.last = indices.back();
}

uint64_t magnitude(int64_t r) {
    return static_cast<uint64_t>(r < 0 ? -r : r);
}

struct Cost {
    uint64_t bits = 0;
    bool fits = true;  // every residual below kResidualLimit
};

// The residuals of the frame whose differences are in `buffer` (taps fixed at compile time).
template <int Taps>
void frame_residuals(const Frame& frame, const FrameBuffer& buffer, std::span<int64_t> out) {
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int64_t* d = buffer.data() + kMaxTaps + i;
        out[i] = *d - prediction<Taps>(frame, d);
    }
}

template <std::size_t... Taps>
constexpr auto residual_functions(std::index_sequence<Taps...>) {
    return std::array{&frame_residuals<static_cast<int>(Taps)>...};
}

// frame_residuals by tap count.
constexpr auto kFrameResiduals = residual_functions(std::make_index_sequence<kMaxTaps + 1>{});

// Whether every magnitude OR-ed into `high` is below kResidualLimit (a power of two, so an OR in
// a vectorised loop finds one beyond it, where a running maximum would not vectorise).
static_assert(std::has_single_bit(static_cast<uint64_t>(kResidualLimit)));
constexpr uint64_t kBeyondLimit = ~static_cast<uint64_t>(kResidualLimit - 1);

// What the encoder measures a frame's residuals by: in float64, where they vectorise. A frame the
// encoder fits has at most kSearchTaps taps, so with |d| < 2^32 and |c| <= 2^15 every product is
// below 2^47 and every sum below 2^51: whole numbers float64 holds exactly, the integer sum itself.
// Its floor after the shift is exact too: the sum times 2^-shift (exact) plus
// 2^-(shift + 1) - 1/2 lies strictly between floor - 1/2 and floor + 1/2 (below 2^51, to the
// precision float64 keeps), and adding and taking away 1.5 x 2^52 rounds it to that floor. So the
// residuals are those of frame_residuals, the decoder's, to the last bit.
static_assert(kSearchTaps <= 16);
using FrameDifferences = std::array<double, kMaxTaps + kFrame>;

// The first kMaxTaps + count entries of `buffer` as float64 (exact: below 2^51 in magnitude, set
// into the mantissa of 1.5 x 2^52 and that taken away, with no conversion loops would not
// vectorise).
void load_float64(const FrameBuffer& buffer, std::size_t count, FrameDifferences& out) {
    for (std::size_t i = 0; i < kMaxTaps + count; ++i) {
        const auto biased = static_cast<uint64_t>(buffer[i]) + 0x4338000000000000u;
        out[i] = std::bit_cast<double>(biased) - 0x1.8p52;
    }
}

template <int Taps>
void float64_residuals(const Frame& frame, const FrameDifferences& d, std::span<double> out) {
    std::array<double, Taps + 1> c{};
    for (int j = 0; j < Taps; ++j) c[j] = frame.coefficients[j];
    const double half = static_cast<double>((int64_t{1} << frame.shift) >> 1);
    const double scale = std::ldexp(1.0, -frame.shift);
    const double off_midpoint = std::ldexp(1.0, -frame.shift - 1) - 0.5;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double* at = d.data() + kMaxTaps + i;
        double sum = half;
        for (int j = Taps - 1; j >= 0; --j) sum += c[j] * at[-1 - j];
        const double prediction = ((sum * scale + off_midpoint) + 0x1.8p52) - 0x1.8p52;
        out[i] = *at - prediction;
    }
}

template <std::size_t... Taps>
constexpr auto float64_residual_functions(std::index_sequence<Taps...>) {
    return std::array{&float64_residuals<static_cast<int>(Taps)>...};
}

// float64_residuals by tap count, up to kSearchTaps.
constexpr auto kFloat64Residuals =
    float64_residual_functions(std::make_index_sequence<kSearchTaps + 1>{});

// The cost of the frame's residuals (taps <= kSearchTaps), which it leaves in `residuals` (count
// of them): bits exact wherever the residuals fit (magnitudes below 2^51 make
// residual_bits_by_exponent exact; beyond kResidualLimit they do not matter).
Cost cost_of(const Frame& frame, const FrameDifferences& differences, std::span<double> residuals) {
    kFloat64Residuals[frame.taps](frame, differences, residuals);
    Cost cost;
    uint64_t high = 0;
    for (const double r : residuals) {
        // |r| < 2^52: as a whole uint64 (exactly) by the same mantissa trick
        const uint64_t m =
            std::bit_cast<uint64_t>(std::abs(r) + 0x1p52) - std::bit_cast<uint64_t>(0x1p52);
        high |= m & kBeyondLimit;
        cost.bits += residual_bits_by_exponent(m);
    }
    cost.fits = high == 0;
    return cost;
}

// Keeps one frame's residuals, from `at`, in the plan as int32 (or, when one does not fit, none
// at all: linear_residuals then computes them again).
template <typename Residual>
void keep_residuals(std::size_t at, std::size_t count, Residual residual, LinearPlan& plan) {
    if (!plan.residuals_kept) return;
    plan.residuals.resize(at + count);  // within the reserved capacity
    int32_t* kept = plan.residuals.data() + at;
    uint64_t outside = 0;  // an OR, not a comparison: the loop vectorises
    for (std::size_t i = 0; i < count; ++i) {
        const int64_t r = residual(i);
        outside |= (static_cast<uint64_t>(r) - static_cast<uint64_t>(INT32_MIN)) >> 32;
        kept[i] = static_cast<int32_t>(r);
    }
    if (outside != 0) {
        plan.residuals_kept = false;
        plan.residuals = {};
    }
}

// The bits of the frame's first and second differences (one pass, no branch per residual), and
// whether every second difference is below kResidualLimit.
struct PlainCosts {
    uint64_t first = 0;
    uint64_t second = 0;
    bool second_fits = true;
};

PlainCosts plain_costs(const FrameBuffer& buffer, std::size_t count) {
    PlainCosts costs;
    uint64_t high = 0;
    for (std::size_t i = kMaxTaps; i < kMaxTaps + count; ++i) {
        // first differences are below 2^32, second ones below 2^33: exact bits
        const uint64_t m2 = magnitude(buffer[i] - buffer[i - 1]);
        high |= m2 & kBeyondLimit;
        costs.first += residual_bits_by_exponent(magnitude(buffer[i]));
        costs.second += residual_bits_by_exponent(m2);
    }
    costs.second_fits = high == 0;
    return costs;
}

uint64_t description_bits(const Frame& frame) {
    return 8 * (frame.taps == 0 ? 1 : 2 + 2 * std::size_t{frame.taps});
}

// Differences from -kSmallDifference to kSmallDifference - 1 make every product at most 2^22 and
// every sum of a frame's products at most 2^34: whole numbers that float64 holds exactly, so the
// float64 sums come out the same in any order. Such frames are summed as int16 products in int32
// over chunks of kProductChunk (at most 2^30: no overflow), which the compiler vectorises as
// multiply-adds of eight pairs. False (r untouched) when a difference is larger.
constexpr int64_t kSmallDifference = 2048;
constexpr std::size_t kProductChunk = 256;

bool small_autocorrelation(std::span<const int64_t> differences, Lags& r) {
    const std::size_t count = differences.size();
    if (count > kFrame) return false;
    std::array<int16_t, kMaxTaps + kFrame> x;
    std::fill_n(x.begin(), kMaxTaps, int16_t{0});
    uint64_t outside = 0;  // an OR, not a comparison: the loop vectorises
    for (std::size_t i = 0; i < count; ++i) {
        const int64_t d = differences[i];
        outside |=
            static_cast<uint64_t>(d + kSmallDifference) & ~uint64_t{2 * kSmallDifference - 1};
        x[kMaxTaps + i] = static_cast<int16_t>(d);
    }
    if (outside != 0) return false;
    const int16_t* frame = x.data() + kMaxTaps;
    for (int lag = 0; lag <= kSearchTaps; ++lag) {
        int64_t total = 0;
        for (std::size_t start = 0; start < count; start += kProductChunk) {
            const std::size_t end = std::min(count, start + kProductChunk);
            int32_t sum = 0;
            for (std::size_t i = start; i < end; ++i) {
                sum += int32_t{frame[i]} * int32_t{frame[static_cast<std::ptrdiff_t>(i) - lag]};
            }
            total += sum;
        }
        r[lag] = static_cast<double>(total);
    }
    return true;
}

// The linear predictor of the frame's differences by the autocorrelation method (Levinson's
// recursion in float64: only the encoder runs it, the coefficients travel in the stream), with
// the taps whose prediction error, at the frame's length, saves most beyond the coefficients'
// bits; no taps when none saves.
Frame autocorrelation_frame(const FrameBuffer& buffer, std::size_t count) {
    Lags r = autocorrelation(std::span(buffer).subspan(kMaxTaps, count));
    Frame frame;
    if (!(r[0] > 0.0)) return frame;
    r[0] *= 1.0 + 1e-9;  // keeps the recursion away from a singular system
    std::array<std::array<double, kSearchTaps>, kSearchTaps + 1> a{};
    double error = r[0];
    double best_saving = 0.0;
    int best = 0;
    const double half_count = 0.5 * static_cast<double>(count);
    for (int p = 1; p <= kSearchTaps; ++p) {
        double acc = r[p];
        for (int j = 0; j < p - 1; ++j) acc -= a[p - 1][j] * r[p - 1 - j];
        const double k = acc / error;
        if (!(std::abs(k) < 1.0)) break;
        for (int j = 0; j < p - 1; ++j) a[p][j] = a[p - 1][j] - k * a[p - 1][p - 2 - j];
        a[p][p - 1] = k;
        error *= 1.0 - k * k;
        const double saving = -half_count * std::log2(error / r[0]) - 16.0 * p - 8.0;
        if (saving > best_saving) {
            best_saving = saving;
            best = p;
        }
    }
    if (best == 0) return frame;
    const double largest = std::abs(*std::ranges::max_element(
        a[best], [](double u, double v) { return std::abs(u) < std::abs(v); }));
    int shift = kMaxShift;
    while (shift > 0 && std::round(std::ldexp(largest, shift)) > 32767.0) --shift;
    if (std::round(std::ldexp(largest, shift)) > 32767.0) return frame;
    frame.taps = static_cast<uint8_t>(best);
    frame.shift = static_cast<uint8_t>(shift);
    for (int j = 0; j < best; ++j) {
        frame.coefficients[j] = static_cast<int16_t>(std::round(std::ldexp(a[best][j], shift)));
    }
    return frame;
}

// Undoes one frame's residuals in place (taps fixed at compile time); false when an index
// leaves 0 .. 2^32 - 1. From `from` on: the residuals before it are already undone.
template <int Taps>
bool undo_frame(std::span<int64_t> values, const Frame& frame, LinearState& state,
                FrameBuffer& buffer, std::size_t from = 0) {
    for (std::size_t i = from; i < values.size(); ++i) {
        int64_t* d = buffer.data() + kMaxTaps + i;
        // |prediction| < 2^52 and |residual| < 2^32: the sums below stay far from overflow.
        *d = prediction<Taps>(frame, d) + values[i];
        const int64_t k = state.last + *d;
        if (k < 0 || k > static_cast<int64_t>(kMaxIndex)) return false;
        values[i] = k;
        state.last = k;
    }
    return true;
}

// The split undo: a decoder's chain from one rebuilt difference to the next is what bounds
// undo_frame once the taps' products are many (one integer multiplier, Taps multiplies per
// sample). So the differences are rebuilt kRun at a time, and each run's prediction splits in
// two parts that add up to the same integer sum:
// - the older taps, those reading differences at least kChained + 1 back from the run's start,
//   for the run's kRun samples at once in float64 lanes (a Toeplitz product: lane m of tap
//   offset o takes c[o + m] times the same difference). Every product is below 2^47 and with at
//   most kSearchTaps taps every sum below 2^51, so the sums are the integers themselves in any
//   order, and they come back as int64 through the mantissa of 1.5 x 2^52;
// - the newest taps (kChained for the run's first sample, one more for each next) in int64 on
//   the chain, the latest difference's product added last.
// The older part reads differences rebuilt kChained samples before the run: the time the lanes
// take (a conversion, a store and load, a multiply, adds and the way back) passes while the chain
// rebuilds them. Both parts are exact, so the indices are undo_frame's.
constexpr int kRun = 4;
constexpr int kChained = 4;
constexpr int kFewestSplitTaps = 8;  // fewer taps: undo_frame's own multiplies cost less
using Lanes = double __attribute__((vector_size(kRun * sizeof(double))));
using IntLanes = int64_t __attribute__((vector_size(kRun * sizeof(double))));

template <int Taps>
bool undo_frame_split(std::span<int64_t> values, const Frame& frame, LinearState& state,
                      FrameBuffer& buffer, FrameDifferences& older) {
    static_assert(Taps <= kSearchTaps && Taps > kChained);
    std::array<int64_t, Taps + kRun + kChained> c{};  // zero from Taps on
    for (int j = 0; j < Taps; ++j) c[j] = frame.coefficients[j];
    std::array<Lanes, Taps> toeplitz{};  // toeplitz[o][m] = c[o + m], o from kChained
    for (int o = kChained; o < Taps; ++o) {
        for (int m = 0; m < kRun; ++m) toeplitz[o][m] = static_cast<double>(c[o + m]);
    }
    const int shift = frame.shift;
    const double half = static_cast<double>((int64_t{1} << shift) >> 1);
    for (int j = 0; j < kMaxTaps; ++j) older[j] = static_cast<double>(buffer[j]);
    std::array<int64_t, kChained + 1> recent{};  // recent[t] = the difference t back
    for (int t = 1; t <= kChained; ++t) recent[t] = buffer[kMaxTaps - t];
    int64_t last = state.last;
    const std::size_t runs = values.size() / kRun * kRun;
    for (std::size_t i = 0; i < runs; i += kRun) {
        const double* at = older.data() + kMaxTaps + i;
        Lanes sum = half - Lanes{};
        for (int o = Taps - 1; o >= kChained; --o) sum += at[-1 - o] * toeplitz[o];
        const IntLanes part =
            reinterpret_cast<IntLanes>(sum + 0x1.8p52) - std::bit_cast<int64_t>(0x1.8p52);
        std::array<int64_t, kRun> rebuilt;
        for (int m = 0; m < kRun; ++m) {
            int64_t s = part[m];
            for (int t = kChained; t >= 1; --t) s += c[m + t - 1] * recent[t];
            for (int j = m - 1; j >= 0; --j) s += c[j] * rebuilt[m - 1 - j];
            const int64_t d = (s >> shift) + values[i + m];
            const int64_t k = last + d;
            if (k < 0 || k > static_cast<int64_t>(kMaxIndex)) return false;
            rebuilt[m] = d;
            values[i + m] = k;
            last = k;
            buffer[kMaxTaps + i + m] = d;
            older[kMaxTaps + i + m] = static_cast<double>(d);
        }
        for (int t = kChained; t >= 1; --t) {
            recent[t] = t <= kRun ? rebuilt[kRun - t] : recent[t - kRun];
        }
    }
    state.last = last;
    return undo_frame<Taps>(values, frame, state, buffer, runs);
}

// A frame without taps: its residuals are the differences themselves, so the undo is a running
// sum, and only the last kMaxTaps differences go to the buffer (the next frame's history).
bool undo_plain_frame(std::span<int64_t> values, LinearState& state, FrameBuffer& buffer) {
    int64_t last = state.last;
    const std::size_t kept = values.size() - std::min<std::size_t>(values.size(), kMaxTaps);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i >= kept) buffer[kMaxTaps + i] = values[i];
        const int64_t k = last + values[i];
        if (static_cast<uint64_t>(k) > kMaxIndex) return false;  // negative ones too
        values[i] = k;
        last = k;
    }
    state.last = last;
    return true;
}

using UndoFrame = bool (*)(std::span<int64_t>, const Frame&, LinearState&, FrameBuffer&,
                           FrameDifferences&);

template <int Taps>
bool undo_frame_by_taps(std::span<int64_t> values, const Frame& frame, LinearState& state,
                        FrameBuffer& buffer, [[maybe_unused]] FrameDifferences& older) {
    if constexpr (Taps == 0) {
        return undo_plain_frame(values, state, buffer);
    } else if constexpr (Taps >= kFewestSplitTaps && Taps <= kSearchTaps) {
        return undo_frame_split<Taps>(values, frame, state, buffer, older);
    } else {
        return undo_frame<Taps>(values, frame, state, buffer);
    }
}

template <std::size_t... Taps>
constexpr auto undo_frames(std::index_sequence<Taps...>) {
    return std::array<UndoFrame, sizeof...(Taps)>{&undo_frame_by_taps<static_cast<int>(Taps)>...};
}

// The undo by tap count (read_frames allows no more than kMaxTaps).
constexpr auto kUndoFrame = undo_frames(std::make_index_sequence<kMaxTaps + 1>{});

}  // namespace

Lags autocorrelation(std::span<const int64_t> differences) {
    Lags r{};
    if (small_autocorrelation(differences, r)) return r;
    std::vector<double> x(kMaxTaps + differences.size(), 0.0);
    for (std::size_t i = 0; i < differences.size(); ++i) {
        x[kMaxTaps + i] = static_cast<double>(differences[i]);
    }
    for (std::size_t i = kMaxTaps; i < x.size(); ++i) {
        for (int lag = 0; lag <= kSearchTaps; ++lag) r[lag] += x[i] * x[i - lag];
    }
    return r;
}

std::size_t frames_in(std::size_t count) {
    return (count + kFrame - 1) / kFrame;
}

LinearPlan plan_linear(std::span<const uint32_t> indices, std::size_t block) {
    LinearPlan plan;
    LinearState state;
    FrameBuffer buffer;
    Frame second;  // the second difference: one tap of 1
    second.taps = 1;
    second.coefficients[0] = 1;
    const uint64_t plain = description_bits(Frame{});
    // on the heap: small thread stacks
    std::vector<double> fitted_residuals(kFrame);
    auto differences = std::make_unique<FrameDifferences>();
    plan.residuals.reserve(indices.size());
    for (std::size_t start = 0; start < indices.size(); start += block) {
        const auto part = indices.subspan(start, std::min(block, indices.size() - start));
        for (std::size_t f = 0; f < part.size(); f += kFrame) {
            const std::size_t count = std::min(kFrame, part.size() - f);
            load_differences(part.subspan(f, count), state, buffer);
            const PlainCosts costs = plain_costs(buffer, count);
            plan.first_difference_bits += costs.first;
            plan.second_difference_bits += costs.second;
            plan.second_differences_fit = plan.second_differences_fit && costs.second_fits;
            Frame chosen;
            uint64_t bits = costs.first + plain;
            if (costs.second_fits && costs.second + description_bits(second) < bits) {
                chosen = second;
                bits = costs.second + description_bits(second);
            }
            const Frame fitted = costs.first < kAnalysedBits * count
                                     ? Frame{}
                                     : autocorrelation_frame(buffer, count);
            const auto residuals = std::span(fitted_residuals).first(count);
            if (fitted.taps > 0) {
                load_float64(buffer, count, *differences);
                const Cost cost = cost_of(fitted, *differences, residuals);
                if (cost.fits && cost.bits + description_bits(fitted) < bits) {
                    chosen = fitted;
                    bits = cost.bits + description_bits(fitted);
                }
            }
            // the frame's differences start after kMaxTaps of history, so d[i - 1] is history at i
            // = 0
            const int64_t* d = buffer.data();
            if (chosen.taps == 0) {
                keep_residuals(
                    start + f, count, [&](std::size_t i) { return d[kMaxTaps + i]; }, plan);
            } else if (chosen.taps == 1 && chosen.shift == 0 && chosen.coefficients[0] == 1) {
                keep_residuals(
                    start + f, count,
                    [&](std::size_t i) { return d[kMaxTaps + i] - d[kMaxTaps + i - 1]; }, plan);
            } else {
                keep_residuals(
                    start + f, count,
                    [&](std::size_t i) { return static_cast<int64_t>(residuals[i]); }, plan);
            }
            plan.frames.push_back(chosen);
            plan.bits += bits;
            keep_history(buffer, count, state);
        }
    }
    return plan;
}

void linear_residuals(std::span<const uint32_t> indices, std::span<const Frame> frames,
                      LinearState& state, std::span<int64_t> residuals) {
    FrameBuffer buffer;
    for (std::size_t f = 0; f < frames.size(); ++f) {
        const std::size_t first = f * kFrame;
        const std::size_t count = std::min(kFrame, indices.size() - first);
        load_differences(indices.subspan(first, count), state, buffer);
        kFrameResiduals[frames[f].taps](frames[f], buffer, residuals.subspan(first, count));
        keep_history(buffer, count, state);
    }
}

void append_frames(std::span<const Frame> frames, std::vector<uint8_t>& out) {
    for (const Frame& frame : frames) {
        out.push_back(frame.taps);
        if (frame.taps == 0) continue;
        out.push_back(frame.shift);
        for (int j = 0; j < frame.taps; ++j) {
            const auto c = static_cast<uint16_t>(frame.coefficients[j]);
            out.push_back(static_cast<uint8_t>(c));
            out.push_back(static_cast<uint8_t>(c >> 8));
        }
    }
}

std::optional<std::size_t> read_frames(std::span<const uint8_t> bytes, std::span<Frame> frames) {
    std::size_t at = 0;
    for (Frame& frame : frames) {
        if (at >= bytes.size()) return std::nullopt;
        frame = Frame{};
        frame.taps = bytes[at++];
        if (frame.taps == 0) continue;
        if (frame.taps > kMaxTaps || bytes.size() - at < 1 + 2 * std::size_t{frame.taps}) {
            return std::nullopt;
        }
        frame.shift = bytes[at++];
        if (frame.shift > kMaxShift) return std::nullopt;
        for (int j = 0; j < frame.taps; ++j, at += 2) {
            frame.coefficients[j] =
                static_cast<int16_t>(static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8)));
        }
    }
    return at;
}

bool undo_linear(std::span<int64_t> values, std::span<const Frame> frames, LinearState& state) {
    FrameBuffer buffer;
    FrameDifferences older;
    for (std::size_t f = 0; f < frames.size(); ++f) {
        const std::size_t first = f * kFrame;
        const std::size_t count = std::min(kFrame, values.size() - first);
        load_history(state, buffer);
        if (!kUndoFrame[frames[f].taps](values.subspan(first, count), frames[f], state, buffer,
                                        older)) {
            return false;
        }
        keep_history(buffer, count, state);
    }
    return true;
}

}  // namespace kestova::v2
