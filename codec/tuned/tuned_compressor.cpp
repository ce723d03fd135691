#include "codec/tuned/tuned_compressor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "codec/chunk/chunk_bound.h"
#include "codec/decompose.h"
#include "codec/decompressor.h"
#include "codec/deflate.h"
#include "codec/encode_pipeline.h"
#include "codec/header.h"
#include "codec/method_executor.h"
#include "codec/tuned/bound_loop.h"
#include "codec/tuned/method_choice.h"
#include "codec/tuned/tuned_quantizer.h"

namespace kestova {

namespace {

// Every deflate payload of a tuned container is made by this one function.
constexpr DeflateFunction kTunedDeflate = deflate_raw_fast;

// The margin's fraction of the range (1.5e-5): above four times the largest difference between
// executor paths measured on the test signals (about 1e-6 of the range, after eight levels of
// synthesis with and without fused multiply-adds), and 3 % of the finest bound worth asking.
constexpr double kPathFraction = 0x1p-16;

KestovaResult<std::vector<uint8_t>> tuned_on(std::span<const float> samples,
                                             CompressionOptions options,
                                             std::optional<Undra::Isa> isa,
                                             const TunedRule& rule = kTunedRule) {
    return encode_with(samples, options, isa, TunedQuantizer(options.scale, options.cutoff, rule),
                       kTunedDeflate);
}

// The scales to try for a first estimate: it, one finer, and the finest, so that a bound is only
// called unreachable when the finest scale missed it.
std::vector<uint8_t> scales_to_try(uint8_t first) {
    std::vector<uint8_t> scales{first};
    if (first < kMaxScale) scales.push_back(static_cast<uint8_t>(first + 1));
    if (scales.back() < kMaxScale) scales.push_back(kMaxScale);
    return scales;
}

bool all_finite(std::span<const float> samples) {
    return std::all_of(samples.begin(), samples.end(), [](float x) { return std::isfinite(x); });
}

std::string shortest(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// One attempt at `scale`: the corrected coefficients and the loop's outcome.
struct Attempt {
    LoopOutcome outcome;
    std::size_t levels = 0;
};

KestovaResult<Attempt> attempt_at(PreparedSignal& prepared, bool first,
                                  std::span<const float> samples, double held, uint8_t scale,
                                  const TunedRule& rule, std::span<int16_t> coefficients) {
    // The analysis overwrites the working signal (and the loop then uses it as scratch), so only
    // the first attempt finds it as prepared; later ones make it again, as it was made.
    if (!first) fill_working_signal(samples, prepared.signal.span());
    const auto levels =
        decompose_and_quantize(*prepared.executor, prepared.layout, prepared.signal.span(),
                               TunedQuantizer::bounded(scale, rule), coefficients);
    if (!levels) return std::unexpected(levels.error());
    const BoundTarget target{.samples = samples,
                             .range = prepared.range,
                             .mean = prepared.mean,
                             .scratch = prepared.signal.span(),
                             .bound = held};
    const auto outcome = correct_within(*prepared.executor, prepared.layout.first_levels(*levels),
                                        prepared.transform_length, scale, target, coefficients);
    if (!outcome) return std::unexpected(outcome.error());
    return Attempt{.outcome = *outcome, .levels = *levels};
}

// The finished container read back once as a reader reads it: its header parses to the values
// written, and its payload decodes to exactly the coefficients whose reconstruction (the
// decoder's own, run by the loop on this path) met the bound.
KestovaResult<void> verify_container(std::span<const uint8_t> container,
                                     const PreparedSignal& prepared, std::size_t levels,
                                     uint8_t scale, std::span<const int16_t> coefficients) {
    const auto header = KestovaHeader::from_bytes(container);
    if (!header) return std::unexpected(header.error());
    const auto image = decode_payload(container.subspan(HEADER_SIZE, header->payload_length),
                                      header->coder, coefficients.size_bytes());
    if (!image) return std::unexpected(image.error());
    const bool same =
        header->levels == levels && header->scale == scale &&
        header->sample_count == prepared.sample_count && header->signal_min == prepared.range.min &&
        header->signal_max == prepared.range.max && header->normalized_mean == prepared.mean &&
        image->bytes.size() == coefficients.size_bytes() &&
        std::memcmp(image->bytes.data(), coefficients.data(), image->bytes.size()) == 0;
    if (!same) {
        return std::unexpected(KestovaError::transform(
            "the bounded container does not decode to the coefficients it was checked with"));
    }
    return {};
}

}  // namespace

double path_margin(float signal_min, float signal_max) {
    const double width = static_cast<double>(signal_max) - static_cast<double>(signal_min);
    const float largest = std::max(std::fabs(signal_min), std::fabs(signal_max));
    const double ulp = static_cast<double>(
        std::nextafter(largest, std::numeric_limits<float>::infinity()) - largest);
    return width * kPathFraction + ulp;
}

namespace {

// The coarsest scale at which the closed loop holds `prepared`'s samples within `held`, for the
// method it was prepared for; an empty container when even the finest scale misses.
KestovaResult<BoundedEncoding> encode_prepared(PreparedSignal& prepared,
                                               std::span<const float> samples,
                                               CompressionMethod method, double held,
                                               double fraction, const TunedRule& rule) {
    auto coefficients = allocate_coefficients(prepared.layout);
    if (!coefficients) return std::unexpected(coefficients.error());

    BoundedEncoding result;
    result.method = method;
    result.max_error = std::numeric_limits<double>::infinity();
    const std::vector<uint8_t> scales = scales_to_try(bounded_scale(fraction, method, rule));
    for (const uint8_t scale : scales) {
        const auto attempt = attempt_at(prepared, scale == scales.front(), samples, held, scale,
                                        rule, coefficients->span());
        if (!attempt) return std::unexpected(attempt.error());
        result.max_error = attempt->outcome.max_error;
        result.scale = scale;
        if (!attempt->outcome.met) continue;
        auto container = write_container(coefficients->span(),
                                         {.method = method,
                                          .levels = attempt->levels,
                                          .scale = scale,
                                          .coder = prepared.coder,
                                          .prepared = &prepared},
                                         kTunedDeflate);
        if (!container) return std::unexpected(container.error());
        const auto verified =
            verify_container(*container, prepared, attempt->levels, scale,
                             coefficients->span().first(
                                 prepared.layout.first_levels(attempt->levels).coefficients()));
        if (!verified) return std::unexpected(verified.error());
        result.container = std::move(*container);
        return result;
    }
    return result;
}

}  // namespace

KestovaResult<BoundedEncoding> encode_within(std::span<const float> samples, ErrorBound bound,
                                             std::optional<CompressionMethod> method,
                                             EntropyCoder coder, std::optional<Undra::Isa> isa,
                                             const TunedRule& rule) {
    if (!(std::isfinite(bound.max_error) && bound.max_error >= 0.0)) {
        return std::unexpected(KestovaError::unsupported_configuration(
            "max error must be a finite number >= 0, but it was " + shortest(bound.max_error)));
    }
    if (!all_finite(samples)) {
        return std::unexpected(KestovaError::unsupported_configuration(
            "an error bound cannot hold for NaN or infinite samples"));
    }
    CompressionOptions options{.coder = coder, .method = method.value_or(CompressionMethod::Cdf97)};
    auto prepared = prepare_signal(samples, options, isa);
    if (!prepared) return std::unexpected(prepared.error());
    const double width =
        static_cast<double>(prepared->range.max) - static_cast<double>(prepared->range.min);
    const double absolute = bound.relative ? bound.max_error * width : bound.max_error;
    const double held =
        std::max(0.0, absolute - path_margin(prepared->range.min, prepared->range.max));
    const double fraction = width > 0.0 ? held / width : 1.0;
    // An open method is tried in the order of its estimated size; one that misses the bound
    // even at the finest scale gives way to the next, and the bound is refused only when every
    // method missed it (with the smallest error any reached).
    const std::vector<CompressionMethod> methods =
        method ? std::vector{*method}
               : rank_methods(prepared->signal.span().first(samples.size()), fraction, rule, isa);
    BoundedEncoding closest;
    closest.max_error = std::numeric_limits<double>::infinity();
    for (const CompressionMethod candidate : methods) {
        if (candidate != options.method) {
            options.method = candidate;
            prepared = prepare_signal(samples, options, isa);
            if (!prepared) return std::unexpected(prepared.error());
        }
        auto result = encode_prepared(*prepared, samples, candidate, held, fraction, rule);
        if (!result) return std::unexpected(result.error());
        if (!result->container.empty()) return result;
        if (result->max_error < closest.max_error) closest = std::move(*result);
    }
    return closest;
}

KestovaResult<std::vector<uint8_t>> compress_tuned(std::span<const float> samples,
                                                   CompressionOptions options) {
    return tuned_on(samples, options, std::nullopt);
}

KestovaResult<std::vector<uint8_t>> compress_tuned_with(std::span<const float> samples,
                                                        CompressionOptions options,
                                                        const TunedRule& rule) {
    return tuned_on(samples, options, std::nullopt, rule);
}

KestovaResult<std::vector<uint8_t>> compress_tuned(std::span<const float> samples,
                                                   CompressionOptions options, Undra::Isa isa) {
    const auto supported = require_isa(isa);
    if (!supported) return std::unexpected(supported.error());
    return tuned_on(samples, options, isa);
}

namespace {

KestovaResult<std::vector<uint8_t>> bounded_on(std::span<const float> samples, ErrorBound bound,
                                               std::optional<CompressionMethod> method,
                                               EntropyCoder coder, std::optional<Undra::Isa> isa) {
    auto encoded = encode_within(samples, bound, method, coder, isa);
    if (!encoded) return std::unexpected(encoded.error());
    if (encoded->container.empty()) {
        // Only samples that sanitising leaves as they are get here (non-finite ones are refused).
        const auto [lo, hi] = std::minmax_element(samples.begin(), samples.end());
        const double range = static_cast<double>(*hi) - static_cast<double>(*lo);
        const double absolute = bound.relative ? bound.max_error * range : bound.max_error;
        const UnmetBound unmet{.max_error = bound.max_error,
                               .relative = bound.relative,
                               .span = range,
                               .bound = sample_bound(ElementType::Float32, absolute, 0.0),
                               .margin = path_margin(*lo, *hi),
                               .setting = "scale 12, tuned encoder, corrected",
                               .reached = encoded->max_error};
        return std::unexpected(KestovaError::unsupported_configuration(unmet_message(unmet)));
    }
    return std::move(encoded->container);
}

}  // namespace

KestovaResult<std::vector<uint8_t>> compress_bounded(std::span<const float> samples,
                                                     ErrorBound bound,
                                                     std::optional<CompressionMethod> method,
                                                     EntropyCoder coder) {
    return bounded_on(samples, bound, method, coder, std::nullopt);
}

KestovaResult<std::vector<uint8_t>> compress_bounded(std::span<const float> samples,
                                                     ErrorBound bound,
                                                     std::optional<CompressionMethod> method,
                                                     EntropyCoder coder, Undra::Isa isa) {
    const auto supported = require_isa(isa);
    if (!supported) return std::unexpected(supported.error());
    return bounded_on(samples, bound, method, coder, isa);
}

}  // namespace kestova
