#include "codec/v2/quantizer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <type_traits>

#include "codec/v2/element_dispatch.h"
#include "codec/v2/psnr_quantizer.h"
#include "codec/v2/sample_extent.h"
#include "codec/v2/text.h"

namespace kestova::v2 {

namespace {

// Rounds tried: each shrinks the step by kShrink when corrections leave a sample out.
constexpr int kRounds = 4;
constexpr double kShrink = 0.75;

// PSNR targets: passes tried, the dB beyond the target each pass aims at, and how close to the
// target a grid must come to end the search early.
constexpr int kPsnrRounds = 4;
constexpr double kPsnrAim = 0.02;
constexpr double kPsnrSlack = 0.1;
// When none of those passes reached the target (short signals, whose PSNR moves unevenly with the
// step), up to kPsnrRescues more, each aiming kPsnrRescueAim dB further beyond it.
constexpr int kPsnrRescues = 8;
constexpr double kPsnrRescueAim = 0.5;

template <typename T>
KestovaResult<Extent> extent_of(std::span<const T> x) {
    const auto extent = find_extent(x);
    if (extent) return *extent;
    return std::unexpected(KestovaError::unsupported_configuration(
        message("samples must be finite, but sample {} is {}", extent.error(),
                static_cast<double>(x[extent.error()]))));
}

// Half a unit in the last place of T at the magnitude `magnitude`: what rounding a decoded value
// to T may add. Zero for integer types (their values are whole on an integral grid) and float64
// (below the float64 arithmetic allowance).
template <typename T>
double rounding_allowance(double magnitude) {
    if constexpr (std::is_same_v<T, float>) {
        int exponent = 0;
        std::frexp(magnitude, &exponent);
        return std::ldexp(1.0, exponent - 25);
    } else {
        return 0.0;
    }
}

// Whether every sample is a whole number within T's exactly held whole numbers.
template <typename T>
bool whole_samples(std::span<const T> x, Extent extent) {
    if constexpr (std::is_floating_point_v<T>) {
        constexpr double exact = std::is_same_v<T, float> ? 0x1p24 : 0x1p53;
        if (std::max(std::abs(extent.lowest), std::abs(extent.highest)) > exact) return false;
        return std::ranges::all_of(x, [](T v) { return v == round_to_even(v); });
    } else {
        return true;
    }
}

// The first grid tried: whole numbers on an odd integral step (so decoded values stay whole),
// other samples on a step of twice the bound less what rounding may add.
template <typename T>
KestovaResult<Grid> first_grid(Extent extent, double bound, bool whole) {
    const double range = extent.highest - extent.lowest;
    if (whole) {
        const double half = std::floor(bound);
        return Grid{extent.lowest, bound < 1.0 ? 1.0 : 2.0 * std::min(half, 4.0e9) + 1.0};
    }
    if constexpr (std::is_floating_point_v<T>) {
        if (range == 0.0 || bound == 0.0) return Grid{extent.lowest, 1.0};
        const double magnitude = std::max(std::abs(extent.lowest), std::abs(extent.highest));
        // Decoded values reach up to a bound beyond the samples, maybe into the next binade.
        const double usable =
            bound - rounding_allowance<T>(magnitude + bound) - magnitude * 0x1p-50;
        if (!(usable > 0.0)) {
            return std::unexpected(KestovaError::unsupported_configuration(message(
                "max error {:g} is finer than the samples' precision at their magnitude {:g}",
                bound, magnitude)));
        }
        return Grid{extent.lowest, 2.0 * usable};
    }
    return Grid{extent.lowest, 1.0};  // not reached: integer types are whole
}

// Float samples that sit on a lattice of their own (an ADC's counts times a scale, stored as
// floats) are stored on that lattice when it is coarser than the bound's grid: the decoded
// values are then the samples themselves, or within the bound of them.
constexpr std::size_t kQuantumProbe = 4096;  // samples whose differences suggest the lattice
constexpr int kQuantumDivisors = 8;          // lattices tried: the smallest difference / 1 .. 8

// The lattice steps worth a quantising pass, coarsest first: the smallest nonzero difference
// between neighbours among the first kQuantumProbe samples, divided by 1 to kQuantumDivisors,
// each adjusted so that a whole number of steps spans the range, kept where it exceeds `finest`
// and where every probed sample lies within `bound` of the lattice through the lowest sample.
template <typename T>
std::vector<double> quantum_steps(std::span<const T> x, Extent extent, double finest,
                                  double bound) {
    const auto probe = x.first(std::min(x.size(), kQuantumProbe));
    double smallest = 0.0;
    for (std::size_t i = 1; i < probe.size(); ++i) {
        const double d =
            std::abs(static_cast<double>(probe[i]) - static_cast<double>(probe[i - 1]));
        if (d > 0.0 && (smallest == 0.0 || d < smallest)) smallest = d;
    }
    std::vector<double> steps;
    const double range = extent.highest - extent.lowest;
    for (int divisor = 1; divisor <= kQuantumDivisors && smallest > 0.0; ++divisor) {
        const double count = std::round(range * divisor / smallest);
        if (!(count >= 1.0 && count <= static_cast<double>(kMaxIndex))) break;
        const double step = range / count;
        if (!(step > finest)) break;
        const bool on_lattice = std::ranges::all_of(probe, [&](T v) {
            const double position = (static_cast<double>(v) - extent.lowest) / step;
            return std::abs(position - round_to_even(position)) * step <= bound;
        });
        if (on_lattice) steps.push_back(step);
    }
    return steps;
}

// The grid moved down by less than a step so that it passes through 0 when the samples span it:
// samples at 0 (silence, a resting level) then decode exactly, which a PSNR target rewards (an
// audio recording a quarter silent reached 47 to 51 dB at neighbouring steps without it). The
// lowest sample still lies within a step above the origin; integral grids stay integral.
Grid through_zero(Grid grid, Extent extent) {
    if (!(extent.lowest < 0.0 && extent.highest > 0.0)) return grid;
    const double steps = std::ceil(-extent.lowest / grid.step);
    const double origin = -(steps * grid.step);
    if (!(origin <= extent.lowest) || !std::isfinite(origin)) return grid;
    return {origin, grid.step};
}

struct PassErrors {
    double worst = 0.0;
    double squares = 0.0;  // sum of the squared errors
};

// A sample's index on `grid` and its decoded error.
struct Pick {
    uint64_t k = 0;
    double error = 0.0;
};

template <typename T>
double error_at(T sample, Grid grid, uint64_t k) {
    return std::abs(static_cast<double>(grid_sample<T>(grid, k)) - static_cast<double>(sample));
}

// The nearest index to `sample` and its error, or when that error is beyond the bound the better
// of it and its neighbours.
template <typename T>
Pick pick(T sample, Grid grid, double bound) {
    const double position = (static_cast<double>(sample) - grid.origin) / grid.step;
    Pick best{static_cast<uint64_t>(
        round_to_even(std::clamp(position, 0.0, static_cast<double>(kMaxIndex))))};
    best.error = error_at(sample, grid, best.k);
    if (best.error <= bound) return best;
    for (const uint64_t other : {best.k - 1, best.k + 1}) {
        if (other > kMaxIndex) continue;  // k - 1 wrapped below 0
        const double other_error = error_at(sample, grid, other);
        if (other_error < best.error) best = {other, other_error};
    }
    return best;
}

// One pass of quantisation on `grid` with the decoder's reconstruction checked per sample; a
// sample beyond the bound tries the neighbouring indices. Returns the errors left; their squares
// only when `with_squares` (a sum in sample order: one dependent add per sample).
//
// For speed, blocks of kPassChunk samples are first rounded to their nearest index,
// measured and checked in a loop with no floating-point comparison or branch, which the compiler
// vectorises (a floating-point comparison stops it: it may trap). The checks compare bit patterns
// as integers instead, which orders non-negative float64 values as their values. That loop
// multiplies by the step's reciprocal instead of dividing: the product differs from the quotient
// `pick` rounds by less than 2^-19 below kMaxIndex, so it rounds to the same index except within
// kTieMargin of a midpoint between two. A sample whose index falls outside 0 .. kMaxIndex, whose
// error is beyond the bound, whose position lies that near a midpoint or (integer types) whose
// decoded value would be clipped to the type's range is left to `pick`. The indices and errors
// are those `pick` gives every sample.
constexpr std::size_t kPassChunk = 512;  // three arrays of it on the stack: 12 KB
constexpr double kTieMargin = 0x1p-16;

// The bits of a float64, and 1 where the non-negative a is below (or not above) the non-negative
// b, else 0: their bit patterns are below 2^63 and ordered as their values.
inline uint64_t bits_of(double v) {
    return std::bit_cast<uint64_t>(v);
}
inline uint64_t below(uint64_t a, uint64_t b) {
    return (a - b) >> 63;
}

// The range an integer type's decoded samples are clipped to (grid_sample).
template <typename T>
constexpr double kLowest = static_cast<double>(std::numeric_limits<T>::lowest());
template <typename T>
constexpr double kHighest = static_cast<double>(std::numeric_limits<T>::max());

template <typename T>
PassErrors quantize_on(std::span<const T> x, Grid grid, double bound, std::span<uint32_t> indices,
                       bool with_squares) {
    std::array<double, kPassChunk> error;
    std::array<uint64_t, kPassChunk> refused;  // nonzero: left to `pick`
    const double reciprocal = 1.0 / grid.step;
    const uint64_t bound_bits = bits_of(bound);
    const uint64_t margin_bits = bits_of(kTieMargin);
    PassErrors errors;
    std::array<double, 4> worst{};  // max is exact in any order: four chains, not one
    for (std::size_t start = 0; start < x.size(); start += kPassChunk) {
        const std::size_t count = std::min(kPassChunk, x.size() - start);
        const T* part = x.data() + start;
        uint32_t* out = indices.data() + start;
        for (std::size_t i = 0; i < count; ++i) {
            const double sample = static_cast<double>(part[i]);
            const double position = (sample - grid.origin) * reciprocal;
            // round_to_even for 0 <= position < 2^52, the whole number k then sitting in the low
            // bits of the sum (others are redone by `pick`: k wraps or reaches 2^32).
            const double shifted = position + 0x1p52;
            const double k = shifted - 0x1p52;
            const uint64_t whole = bits_of(shifted) - bits_of(0x1p52);
            // grid_value(grid, k) for a whole k below 2^53: double(uint64_t(k)) == k.
            const double value = grid.origin + k * grid.step;
            double decoded = 0.0;
            uint64_t clipped = 0;  // 1 where grid_sample<T> would clip (left to `pick`)
            if constexpr (std::is_floating_point_v<T>) {
                decoded = static_cast<double>(static_cast<T>(value));
            } else {
                // round_to_even below 2^52 in magnitude; beyond, the value is far outside T
                // and refused as clipped whatever this gives.
                const double towards = std::copysign(0x1p52, value);
                decoded = (value + towards) - towards;
                clipped = (bits_of(decoded - kLowest<T>) | bits_of(kHighest<T> - decoded)) >> 63;
            }
            error[i] = std::abs(decoded - sample);
            const double from_tie = std::abs(std::abs(position - k) - 0.5);
            out[i] = static_cast<uint32_t>(whole);
            refused[i] = (whole >> 32) | clipped | below(bound_bits, bits_of(error[i])) |
                         below(bits_of(from_tie) - 1, margin_bits);
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (refused[i] != 0) {
                const Pick chosen = pick(part[i], grid, bound);
                out[i] = static_cast<uint32_t>(chosen.k);
                error[i] = chosen.error;
            }
            worst[i % 4] = std::max(worst[i % 4], error[i]);
        }
        if (with_squares) {
            for (std::size_t i = 0; i < count; ++i) errors.squares += error[i] * error[i];
        }
    }
    errors.worst = std::max(std::max(worst[0], worst[1]), std::max(worst[2], worst[3]));
    return errors;
}

template <typename T>
KestovaResult<Quantized> quantize_typed(std::span<const T> x, MaxError target, bool measure_rms,
                                        std::optional<Extent>& known,
                                        std::vector<uint32_t>&& buffer) {
    Quantized out;
    if (x.empty()) return out;
    out.indices = std::move(buffer);  // every index is written below: no need to clear it
    if (!known) {
        auto found = extent_of(x);
        if (!found) return std::unexpected(found.error());
        known = *found;
    }
    const std::optional<Extent>& extent = known;
    const double range = extent->highest - extent->lowest;
    if (!std::isfinite(range)) {
        return std::unexpected(KestovaError::unsupported_configuration(
            "the range of the samples exceeds the float64 range"));
    }
    // A bound beyond the range is met by any grid that spans it, so it is held to the range.
    const double bound = std::min(target.relative ? target.value * range : target.value, range);
    // Float samples that are whole numbers are stored exactly under a bound below one unit (the
    // finer grid would only spread the same values); at coarser bounds a float step fits better.
    const bool whole = !std::is_floating_point_v<T> || (bound < 1.0 && whole_samples(x, *extent));
    auto grid = first_grid<T>(*extent, bound, whole);
    if (!grid) return std::unexpected(grid.error());
    const auto too_fine = [&] {
        return KestovaError::unsupported_configuration(message(
            "the range {:g} of the samples needs more than 32-bit grid indices at max error {:g}",
            range, bound));
    };
    if (range / grid->step > static_cast<double>(kMaxIndex)) return std::unexpected(too_fine());
    try {
        out.indices.resize(x.size());
    } catch (const std::bad_alloc&) {
        return std::unexpected(KestovaError::out_of_memory(x.size()));
    }
    const auto done = [&](Grid on, const PassErrors& errors) {
        out.grid = on;
        out.max_error = errors.worst;
        out.rms_error = measure_rms ? std::sqrt(errors.squares / static_cast<double>(x.size()))
                                    : std::numeric_limits<double>::quiet_NaN();
        out.range = range;
        return std::move(out);  // the indices moved, not copied: `out` is captured by reference
    };
    if constexpr (std::is_floating_point_v<T>) {
        if (!whole && bound > 0.0) {
            for (const double step : quantum_steps(x, *extent, grid->step, bound)) {
                const Grid lattice{extent->lowest, step};
                const PassErrors errors =
                    quantize_on(x, lattice, bound, std::span(out.indices), measure_rms);
                if (errors.worst <= bound) return done(lattice, errors);
            }
        }
    }
    double reached = 0.0;
    for (int round = 0; round < kRounds; ++round) {
        const Grid anchored = through_zero(*grid, *extent);
        const PassErrors errors =
            quantize_on(x, anchored, bound, std::span(out.indices), measure_rms);
        reached = errors.worst;
        if (reached <= bound) return done(anchored, errors);
        if (bound == 0.0) break;  // exact: only the unit grid is tried
        grid->step *= kShrink;
        if (range / grid->step > static_cast<double>(kMaxIndex)) return std::unexpected(too_fine());
    }
    if (bound == 0.0) {
        return std::unexpected(KestovaError::unsupported_configuration(
            message("exact reconstruction (max error 0) needs samples on a whole-number grid; the "
                    "nearest reached differs by {:g}",
                    reached)));
    }
    return std::unexpected(KestovaError::unsupported_configuration(
        message("max error {:g} ({:g} of the range) cannot be met: the error reached is {:g}",
                bound, range > 0.0 ? bound / range : 0.0, reached)));
}

}  // namespace

namespace {

// quantize_within with the samples' extent kept in `known` between calls on the same samples
// (found on the first), writing the indices into `buffer` (a search's discarded round: its pages
// are already mapped, where a fresh vector of 4 bytes per sample faults every page in again).
KestovaResult<Quantized> quantize_with_extent(SampleView samples, MaxError target, bool measure_rms,
                                              std::optional<Extent>& known,
                                              std::vector<uint32_t>&& buffer = {}) {
    if (!std::isfinite(target.value) || target.value < 0.0) {
        return std::unexpected(KestovaError::unsupported_configuration(
            message("max error must be a finite number >= 0, got {:g}", target.value)));
    }
    return with_element_type(samples.type, [&]<typename T>(std::type_identity<T>) {
        return quantize_typed(std::span(static_cast<const T*>(samples.data), samples.count), target,
                              measure_rms, known, std::move(buffer));
    });
}

}  // namespace

KestovaResult<Quantized> quantize_within(SampleView samples, MaxError target, bool measure_rms) {
    std::optional<Extent> unknown;
    return quantize_with_extent(samples, target, measure_rms, unknown);
}

namespace {

// Signals of kProbedLength samples or more aim the search's first pass by a probe: every
// kProbeEvery-th run of kProbeRun samples, quantised on the first bound. A pass over the probe
// costs a sixteenth of one over the signal, and the first full pass then lands near the target
// where the rms error of a uniform grid is a poor guess (a partly silent recording, whose silence
// decodes exactly, reached 1.7 dB beyond it).
constexpr std::size_t kProbedLength = std::size_t{1} << 18;
constexpr std::size_t kProbeRun = 512;
constexpr std::size_t kProbeEvery = 16;
// How far (dB) from the target the probe may land for its PSNR to move the bound. Beyond it the
// grid has met the samples' own lattice, or reconstructs them exactly, and the PSNR jumps by tens
// of dB at a small change of step: moving the bound by that jump misses by as much on the other
// side, so the first bound is kept.
constexpr double kProbeWindow = 3.0;

template <typename T>
std::vector<T> probe_of(std::span<const T> x) {
    std::vector<T> probe;
    probe.reserve(x.size() / kProbeEvery + kProbeRun);
    for (std::size_t start = 0; start < x.size(); start += kProbeRun * kProbeEvery) {
        const auto run = x.subspan(start, std::min(kProbeRun, x.size() - start));
        probe.insert(probe.end(), run.begin(), run.end());
    }
    return probe;
}

// The PSNR `quantized` reaches (infinite when exact).
double psnr_of(const Quantized& quantized) {
    return quantized.rms_error == 0.0 ? std::numeric_limits<double>::infinity()
                                      : 20.0 * std::log10(quantized.range / quantized.rms_error);
}

// The bound scaled by how far the PSNR reached on it is from the target, aiming `aim` dB beyond.
double rescaled(double bound, double reached, double psnr, double aim) {
    return bound * std::pow(10.0, (std::min(reached, psnr + 40.0) - psnr - aim) / 20.0);
}

// The relative bound the search's first full pass takes: `bound` itself for short signals, else
// moved by what it reaches on the probe (within kProbeWindow of the target). The same for both
// searches at one target (with and without leaning), so the second may start from the first one's
// first grid. Leaves the samples' extent in `extent`; where the samples are refused, `bound` (the
// full pass says why).
double first_bound(SampleView samples, double psnr, bool leaning, double bound,
                   std::optional<Extent>& extent) {
    if (samples.count < kProbedLength) return bound;
    return with_element_type(samples.type, [&]<typename T>(std::type_identity<T>) {
        const auto x = std::span(static_cast<const T*>(samples.data), samples.count);
        if (!extent) {
            const auto found = find_extent(x);
            if (!found) return bound;
            extent = *found;
        }
        const std::vector<T> probe = probe_of(x);
        const SampleView probe_view{samples.type, probe.data(), probe.size()};
        std::vector<uint32_t> buffer;
        for (int round = 0; round < (leaning ? kPsnrRounds : 1); ++round) {
            auto quantized = quantize_typed(std::span<const T>(probe), {bound, true}, true, extent,
                                            std::move(buffer));
            if (!quantized) return bound;
            if (leaning) lean_towards_previous(probe_view, *quantized);
            const double reached = psnr_of(*quantized);
            if (!(std::abs(reached - psnr) <= kProbeWindow)) return bound;
            if (reached >= psnr && reached - psnr < kPsnrSlack) return bound;
            bound = rescaled(bound, reached, psnr, kPsnrAim);
            buffer = std::move(quantized->indices);
        }
        return bound;
    });
}

}  // namespace

KestovaResult<Quantized> quantize_to_psnr(SampleView samples, double psnr, bool leaning,
                                          std::optional<Quantized>* first_grid) {
    if (!(psnr >= kPsnrRange.first && psnr <= kPsnrRange.second)) {
        return std::unexpected(KestovaError::unsupported_configuration(
            message("PSNR must be a number of dB from {} to {}, got {}", kPsnrRange.first,
                    kPsnrRange.second, psnr)));
    }
    // A long signal's searches each aim their first pass by the probe (leaning moves the PSNR
    // reached): the first search's first grid is no start for the second.
    if (samples.count >= kProbedLength) first_grid = nullptr;
    // A uniform grid of step s leaves an rms error of about s / sqrt(12): the relative bound
    // s / 2 of that rms is the first tried; then each pass scales the bound by how far the PSNR
    // reached is from the target (a little beyond it), and the coarsest grid that reached the
    // target is kept. A bound no larger than the kept grid's gives no coarser grid (the step grows
    // with the bound, and so do the lattice steps a bound admits), so the search ends there.
    std::optional<Extent> extent;  // found once for every round
    double bound =
        first_bound(samples, psnr, leaning, std::sqrt(3.0) * std::pow(10.0, -psnr / 20.0), extent);
    std::optional<Quantized> kept;
    double kept_bound = 0.0;
    std::vector<uint32_t> spare;  // the indices of a round not kept, written over by the next
    double reached = 0.0;
    for (int round = 0; round < kPsnrRounds + (kept ? 0 : kPsnrRescues); ++round) {
        // The first grid depends only on the target: a search before this one may have kept it.
        const bool reused = round == 0 && first_grid && *first_grid;
        auto quantized =
            reused ? KestovaResult<Quantized>(std::move(**first_grid))
                   : quantize_with_extent(samples, {bound, true}, true, extent, std::move(spare));
        if (reused) first_grid->reset();
        if (!quantized) return std::unexpected(quantized.error());
        const bool keep_first = round == 0 && first_grid && !reused;
        if (leaning) lean_towards_previous(samples, *quantized);
        reached = psnr_of(*quantized);
        const bool met = reached >= psnr;
        const bool coarsest = met && (!kept || quantized->grid.step > kept->grid.step);
        // The first grid goes to a later search whole: copied only when this search keeps it too.
        if (keep_first) *first_grid = coarsest ? *quantized : std::move(*quantized);
        if (coarsest) {
            if (kept) spare = std::move(kept->indices);
            kept = std::move(*quantized);
            kept_bound = bound;
        } else if (!keep_first) {
            spare = std::move(quantized->indices);
        }
        if (met && (reached - psnr < kPsnrSlack || !std::isfinite(reached))) break;
        const double aim = kPsnrAim + kPsnrRescueAim * std::max(0, round + 2 - kPsnrRounds);
        bound = rescaled(bound, reached, psnr, aim);
        if (kept && bound <= kept_bound) break;
    }
    if (kept) return std::move(*kept);
    return std::unexpected(KestovaError::unsupported_configuration(
        message("PSNR {} dB cannot be met: the last grid tried reached {:.2f} dB", psnr, reached)));
}

}  // namespace kestova::v2
