#include "codec/v2/rate_target.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "codec/v2/element_dispatch.h"
#include "codec/v2/format.h"
#include "codec/v2/linear_predictor.h"
#include "codec/v2/text.h"

namespace kestova::v2 {

namespace {

// Encodes tried at most before settling on the finest that fitted.
constexpr int kEncodes = 7;
// The search is over log2 of the bound relative to the range, from the finest a 32-bit index
// spans to the range itself (every sample on one of two grid points).
constexpr double kFinestLog2 = -31.0;
constexpr double kCoarsestLog2 = 0.0;
// A stream within this fraction below the target is close enough to stop.
constexpr double kClose = 0.03;
// The first try aims this far below the target, so that it usually fits.
constexpr double kAim = 0.98;
// How far one try may move the bound, in octaves.
constexpr double kLongestMove = 12.0;
// Bits a Gaussian residual of rms d costs on a grid of step s, beyond log2(d / s).
constexpr double kGaussianExcess = 2.05;
// Long signals are searched on a probe first: kProbeRuns runs of consecutive samples spread over
// the signal, kProbeSamples in all; the whole signal then needs one to three encodes. Each run
// holds two of the linear method's frames: runs of half a frame cut every frame the method
// predicts over, so that the probe took more bits per sample than the whole signal and pointed
// the whole signal's search at too coarse a bound.
constexpr std::size_t kProbeSamples = std::size_t{1} << 17;
constexpr std::size_t kProbeRuns = 16;
// The largest bound tried: a quarter of the float64 range keeps the grid's step finite.
constexpr double kLargestBound = std::numeric_limits<double>::max() / 4.0;

// The rms of the first or of the second differences, whichever is smaller (the residuals the
// predictor may choose from), and the range, in the samples' units; NaN for samples that are
// not finite. The rms is 0 for fewer than three samples.
struct Spread {
    double differences = 0.0;
    double range = 0.0;
};

template <typename T>
Spread spread_of(std::span<const T> x) {
    double first = 0.0;
    double second = 0.0;
    double lowest = static_cast<double>(x[0]);
    double highest = lowest;
    bool finite = std::isfinite(lowest);
    for (std::size_t i = 1; i < x.size(); ++i) {
        const double value = static_cast<double>(x[i]);
        finite = finite && std::isfinite(value);
        const double d1 = value - static_cast<double>(x[i - 1]);
        first += d1 * d1;
        if (i >= 2) {
            const double d2 = d1 - (static_cast<double>(x[i - 1]) - static_cast<double>(x[i - 2]));
            second += d2 * d2;
        }
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
    }
    if (!finite) return {0.0, std::numeric_limits<double>::quiet_NaN()};
    if (x.size() < 3) return {0.0, highest - lowest};
    const double n = static_cast<double>(x.size() - 1);
    return {std::sqrt(std::min(first, second) / n), highest - lowest};
}

// The first relative bound tried, as log2, from the residuals' spread and the payload bits.
double first_log2_bound(Spread spread, double payload_bits) {
    // step = 2 x bound x range, and bits = log2(d / step) + kGaussianExcess.
    const double log2_bound =
        std::log2(spread.differences / (2.0 * spread.range)) + kGaussianExcess - payload_bits;
    if (!std::isfinite(log2_bound)) return kCoarsestLog2;
    return std::clamp(log2_bound, kFinestLog2, kCoarsestLog2);
}

struct Try {
    double log2_bound = 0.0;
    double bits = 0.0;  // per sample
};

// The bits per octave of the bound through the last two tries, or `otherwise`.
double slope_of(std::span<const Try> tried, double otherwise) {
    if (tried.size() < 2) return otherwise;
    const Try& last = tried.back();
    const Try& before = tried[tried.size() - 2];
    const double run = last.log2_bound - before.log2_bound;
    const double rise = last.bits - before.bits;
    return run != 0.0 && std::isfinite(rise) && rise / run < -0.05 ? rise / run : otherwise;
}

// The bound to try next: along the line through the last two tries (or of `slope` after one), kept
// inside the bracket of tries that fitted and missed.
double next_log2_bound(std::span<const Try> tried, double slope, double aim, double fit,
                       double miss) {
    const Try& last = tried.back();
    slope = slope_of(tried, slope);
    const double move = std::clamp((aim - last.bits) / slope, -kLongestMove, kLongestMove);
    double next = std::clamp(last.log2_bound + move, kFinestLog2, kCoarsestLog2);
    // Strictly between a miss (finer) and a fit (coarser): else halve the bracket.
    const double low = std::max(miss, kFinestLog2 - 1.0);
    const double high = std::min(fit, kCoarsestLog2 + 1.0);
    if (!(next > low && next < high)) {
        next = std::clamp(0.5 * (std::max(low, kFinestLog2) + std::min(high, kCoarsestLog2)),
                          kFinestLog2, kCoarsestLog2);
    }
    return next;
}

// The search over one set of samples for the finest bound (log2, relative to `range`, the whole
// signal's) whose stream fits `target` bits per sample. A probe's stream stands for the whole
// signal's: its payload bits per probe sample plus the whole stream's framing per sample.
struct RateSearch {
    RateSearch(SampleView searched, double whole_range, double bits, double framing)
        : samples(searched), range(whole_range), target(bits), framing_bits(framing) {}

    SampleView samples;
    double range = 0.0;
    double target = 0.0;
    double framing_bits = 0.0;  // the whole stream's framing, per sample of the whole signal

    std::optional<Encoded> best;       // the finest that fitted
    double fit = kCoarsestLog2 + 1.0;  // log2 bound of best: the bracket's coarse end
    double miss = kFinestLog2 - 1.0;   // the coarsest bound that missed: the fine end
    double coarsest_bits = -1.0;       // the bits at kCoarsestLog2, once tried
    // Bits per octave of the bound: one on a fine uniform grid; after a run, its last secant's.
    double slope = -1.0;

    // The absolute bound at `log2_bound`, short of where the grid step (twice it) overflows.
    double bound_at(double log2_bound) const {
        return std::min(std::exp2(log2_bound) * range, kLargestBound);
    }

    double bits_of(const Encoded& encoded) const {
        const double payload = static_cast<double>(encoded.stream.size() - kSmallestStream);
        return 8.0 * payload / static_cast<double>(samples.count) + framing_bits;
    }

    // Up to `encodes` encodes from `log2_bound`; an error only when the samples are refused.
    KestovaResult<void> run(double log2_bound, int encodes) {
        std::vector<Try> tried;
        for (int round = 0; round < encodes; ++round) {
            auto encoded = encode(samples, {bound_at(log2_bound), false});
            double bits = std::numeric_limits<double>::infinity();  // a grid too fine to hold
            if (encoded) {
                bits = bits_of(*encoded);
            } else if (log2_bound == kCoarsestLog2) {
                return std::unexpected(encoded.error());  // the samples, not the grid
            }
            if (log2_bound == kCoarsestLog2) coarsest_bits = bits;
            tried.push_back({log2_bound, bits});
            if (bits <= target) {
                const bool exact = encoded->max_error == 0.0;
                best = std::move(*encoded);
                fit = log2_bound;
                // Exact samples, the finest grid, or close below the target: none finer pays.
                if (exact || log2_bound == kFinestLog2 || bits >= (1.0 - kClose) * target) break;
            } else {
                miss = log2_bound;
                if (log2_bound == kCoarsestLog2) break;
            }
            if (fit - miss <= 1.0 / 16.0) break;  // within a sixteenth of an octave
            log2_bound = next_log2_bound(tried, slope, kAim * target, fit, miss);
        }
        slope = slope_of(tried, slope);
        return {};
    }
};

static_assert(kProbeSamples / kProbeRuns == 2 * kFrame);

// kProbeRuns runs of consecutive samples spread evenly over `samples`, kProbeSamples in all.
std::vector<uint8_t> probe_bytes(SampleView samples, std::size_t element_size) {
    const std::size_t run = kProbeSamples / kProbeRuns;
    const std::size_t gap = (samples.count - run) / (kProbeRuns - 1);
    std::vector<uint8_t> bytes(kProbeSamples * element_size);
    const auto* source = static_cast<const uint8_t*>(samples.data);
    for (std::size_t r = 0; r < kProbeRuns; ++r) {
        std::memcpy(bytes.data() + r * run * element_size, source + r * gap * element_size,
                    run * element_size);
    }
    return bytes;
}

}  // namespace

KestovaResult<Encoded> encode_bits_per_sample(SampleView samples, double bits_per_sample) {
    const auto [low, high] = kBitsPerSampleRange;
    if (!(bits_per_sample >= low && bits_per_sample <= high)) {
        return std::unexpected(KestovaError::unsupported_configuration(message(
            "bits per sample must be a number from {} to {}, got {}", low, high, bits_per_sample)));
    }
    if (samples.count == 0) return encode(samples, {0.0, true});
    const double count = static_cast<double>(samples.count);
    const double framing_bits = 8.0 * static_cast<double>(kSmallestStream) / count;
    const std::size_t element_size = element_row(samples.type)->size;
    const Spread spread = with_element_type(samples.type, [&]<typename T>(std::type_identity<T>) {
        return spread_of(std::span(static_cast<const T*>(samples.data), samples.count));
    });
    RateSearch whole(samples, spread.range, bits_per_sample, framing_bits);
    double first = first_log2_bound(spread, bits_per_sample - framing_bits);
    if (!(spread.range > 0.0 && std::isfinite(spread.range))) {
        // Flat (one grid is all), or samples the quantiser refuses at the coarsest grid.
        whole.range = 1.0;
        first = kCoarsestLog2;
    } else if (samples.count >= 4 * kProbeSamples) {
        std::vector<uint8_t> probe;
        try {
            probe = probe_bytes(samples, element_size);
        } catch (const std::bad_alloc&) {
            return std::unexpected(KestovaError::out_of_memory(kProbeSamples));
        }
        RateSearch search({samples.type, probe.data(), kProbeSamples}, spread.range,
                          bits_per_sample, framing_bits);
        if (auto searched = search.run(first, kEncodes); !searched) {
            return std::unexpected(searched.error());
        }
        first = search.best ? search.fit : kCoarsestLog2;
        whole.slope = search.slope;
    }
    if (auto searched = whole.run(first, kEncodes); !searched) {
        return std::unexpected(searched.error());
    }
    if (whole.best) return std::move(*whole.best);
    if (whole.coarsest_bits < 0.0) {
        auto coarsest = encode(samples, {whole.bound_at(kCoarsestLog2), false});
        if (!coarsest) return std::unexpected(coarsest.error());
        whole.coarsest_bits = whole.bits_of(*coarsest);
        if (whole.coarsest_bits <= bits_per_sample) return coarsest;
    }
    return std::unexpected(KestovaError::unsupported_configuration(
        message("bits per sample {} cannot be met: the coarsest grid takes {} bits per sample "
                "({} samples)",
                bits_per_sample, whole.coarsest_bits, samples.count)));
}

}  // namespace kestova::v2
