#include "codec/tuned/method_choice.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "codec/decompose.h"
#include "codec/encode_pipeline.h"
#include "codec/level_layout.h"
#include "codec/method_executor.h"
#include "codec/method_table.h"
#include "codec/tuned/tuned_quantizer.h"

namespace kestova {

namespace {

// Signals up to this length are estimated whole; longer ones on kExcerpts evenly spaced
// excerpts of kExcerptLength samples, which keeps the choice a small part of one compression.
constexpr std::size_t kExcerptLength = std::size_t{1} << 14;
constexpr std::size_t kExcerpts = 4;

// The estimated bits of `excerpt` under `method`.
double excerpt_bits(std::span<const float> excerpt, const Undra::DwtExecutor& executor,
                    uint8_t scale, const TunedRule& rule) {
    const std::size_t filter_length = executor.filter_length();
    std::vector<float> signal(std::max(excerpt.size(), filter_length));
    for (std::size_t k = 0; k < signal.size(); ++k) signal[k] = excerpt[k % excerpt.size()];
    const LevelLayout layout =
        level_layout(executor, signal.size(), planned_levels(excerpt.size(), filter_length));
    std::vector<int16_t> coefficients(layout.coefficients());
    const auto levels = decompose_and_quantize(executor, layout, signal,
                                               TunedQuantizer::bounded(scale, rule), coefficients);
    if (!levels) return std::numeric_limits<double>::infinity();
    const LevelLayout used = layout.first_levels(*levels);
    std::vector<std::size_t> bounds{0, used.approximations};
    for (const Undra::DwtSize& size : used.sizes) {
        bounds.push_back(bounds.back() + size.details_length);
    }
    return estimated_bits(std::span(coefficients).first(used.coefficients()), bounds);
}

}  // namespace

double estimated_bits(std::span<const int16_t> values, std::span<const std::size_t> bounds) {
    std::vector<uint32_t> counts(65536, 0);
    double bits = 0.0;
    for (std::size_t b = 0; b + 1 < bounds.size(); ++b) {
        const auto stretch = values.subspan(bounds[b], bounds[b + 1] - bounds[b]);
        if (stretch.empty()) continue;
        for (const int16_t v : stretch) ++counts[static_cast<uint16_t>(v)];
        const double total = static_cast<double>(stretch.size());
        for (const int16_t v : stretch) {
            uint32_t& count = counts[static_cast<uint16_t>(v)];
            if (count == 0) continue;  // counted already
            const double c = count;
            bits -= c * std::log2(c / total);
            count = 0;
        }
    }
    return bits;
}

std::vector<CompressionMethod> rank_methods(std::span<const float> normalized, double fraction,
                                            const TunedRule& rule, std::optional<Undra::Isa> isa) {
    const std::size_t n = normalized.size();
    std::vector<std::span<const float>> excerpts;
    if (n <= kExcerpts * kExcerptLength) {
        excerpts.push_back(normalized);
    } else {
        for (std::size_t k = 0; k < kExcerpts; ++k) {
            const std::size_t start = (n - kExcerptLength) * k / (kExcerpts - 1);
            excerpts.push_back(normalized.subspan(start, kExcerptLength));
        }
    }
    std::vector<std::pair<double, CompressionMethod>> estimates;
    for (const MethodEntry& entry : kMethods) {
        const Undra::SharedDwtExecutor executor = make_method_executor(entry.method, isa);
        const uint8_t scale = bounded_scale(fraction, entry.method, rule);
        double bits = 0.0;
        for (const auto excerpt : excerpts) bits += excerpt_bits(excerpt, *executor, scale, rule);
        estimates.emplace_back(bits, entry.method);
    }
    // Stable: on equal estimates the table's order decides, as it did for the first choice.
    std::stable_sort(estimates.begin(), estimates.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<CompressionMethod> ranked;
    for (const auto& [bits, method] : estimates) ranked.push_back(method);
    return ranked;
}

}  // namespace kestova
