#include "codec/v2/rate_target.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "codec/v2/element_dispatch.h"
#include "codec/v2/format.h"
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
constexpr double kAim = 0.99;
// How far one try may move the bound, in octaves.
constexpr double kLongestMove = 12.0;
// Bits a Gaussian residual of rms d costs on a grid of step s, beyond log2(d / s).
constexpr double kGaussianExcess = 2.05;

KestovaError refused(std::string text) {
    return KestovaError::unsupported_configuration(std::move(text));
}

// The rms of the first and of the second differences, and the range: the residuals the
// predictor may choose from, in the samples' units. NaN when a sample is not finite.
struct Spread {
    double differences = 0.0;
    double range = 0.0;
};

template <typename T>
Spread spread_of(std::span<const T> x) {
    if (x.size() < 3) return {};
    double first = 0.0;
    double second = 0.0;
    double lowest = static_cast<double>(x[0]);
    double highest = lowest;
    for (std::size_t i = 1; i < x.size(); ++i) {
        const double value = static_cast<double>(x[i]);
        const double d1 = value - static_cast<double>(x[i - 1]);
        first += d1 * d1;
        if (i >= 2) {
            const double d2 = d1 - (static_cast<double>(x[i - 1]) - static_cast<double>(x[i - 2]));
            second += d2 * d2;
        }
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
    }
    const double n = static_cast<double>(x.size() - 1);
    return {std::sqrt(std::min(first, second) / n), highest - lowest};
}

// The first relative bound tried, as log2, from the residuals' spread and the payload bits.
double first_log2_bound(SampleView samples, double payload_bits) {
    const Spread spread = with_element_type(samples.type, [&]<typename T>(std::type_identity<T>) {
        return spread_of(std::span(static_cast<const T*>(samples.data), samples.count));
    });
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

// The bound to try next: along the line through the last two tries (or one bit per octave, the
// slope of a fine uniform grid), kept inside the bracket of tries that fitted and missed.
double next_log2_bound(std::span<const Try> tried, double aim, double fit, double miss) {
    const Try& last = tried.back();
    double slope = -1.0;
    if (tried.size() >= 2) {
        const Try& before = tried[tried.size() - 2];
        const double run = last.log2_bound - before.log2_bound;
        const double rise = last.bits - before.bits;
        if (run != 0.0 && std::isfinite(rise) && rise / run < -0.05) slope = rise / run;
    }
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

}  // namespace

KestovaResult<Encoded> encode_bits_per_sample(SampleView samples, double bits_per_sample) {
    const auto [low, high] = kBitsPerSampleRange;
    if (!(bits_per_sample >= low && bits_per_sample <= high)) {
        return std::unexpected(refused(message(
            "bits per sample must be a number from {} to {}, got {}", low, high, bits_per_sample)));
    }
    if (samples.count == 0) return encode(samples, {0.0, true});
    const double count = static_cast<double>(samples.count);
    const double budget_bits = bits_per_sample * count;
    const double framing_bits = 8.0 * static_cast<double>(kSmallestStream);
    const double aim = kAim * bits_per_sample;

    std::optional<Encoded> best;       // the finest that fitted
    double fit = kCoarsestLog2 + 1.0;  // log2 bound of best: the bracket's coarse end
    double miss = kFinestLog2 - 1.0;   // the coarsest bound that missed: the fine end
    std::vector<Try> tried;
    double coarsest_bits = -1.0;  // the bits at kCoarsestLog2, once tried
    double log2_bound = first_log2_bound(samples, (budget_bits - framing_bits) / count);
    for (int round = 0; round < kEncodes; ++round) {
        auto encoded = encode(samples, {std::exp2(log2_bound), true});
        double bits = std::numeric_limits<double>::infinity();  // a grid too fine to hold
        if (encoded) {
            bits = 8.0 * static_cast<double>(encoded->stream.size()) / count;
        } else if (log2_bound == kCoarsestLog2) {
            return std::unexpected(encoded.error());  // the samples, not the grid, are refused
        }
        if (log2_bound == kCoarsestLog2) coarsest_bits = bits;
        tried.push_back({log2_bound, bits});
        if (bits <= bits_per_sample) {
            const bool exact = encoded->max_error == 0.0;
            best = std::move(*encoded);
            fit = log2_bound;
            // Exact samples, the finest grid, or close enough below the target: none finer pays.
            if (exact || log2_bound == kFinestLog2 || bits >= (1.0 - kClose) * bits_per_sample) {
                break;
            }
        } else {
            miss = log2_bound;
            if (log2_bound == kCoarsestLog2) break;
        }
        if (fit - miss <= 1.0 / 16.0) break;  // the bracket is within a sixteenth of an octave
        log2_bound = next_log2_bound(tried, aim, fit, miss);
    }
    if (best) return std::move(*best);
    if (coarsest_bits < 0.0) {
        auto coarsest = encode(samples, {std::exp2(kCoarsestLog2), true});
        if (!coarsest) return std::unexpected(coarsest.error());
        coarsest_bits = 8.0 * static_cast<double>(coarsest->stream.size()) / count;
        if (coarsest_bits <= bits_per_sample) return coarsest;
    }
    return std::unexpected(refused(
        message("bits per sample {} cannot be met: the coarsest grid takes {} bits per sample "
                "({} samples)",
                bits_per_sample, coarsest_bits, samples.count)));
}

}  // namespace kestova::v2
