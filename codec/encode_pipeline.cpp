#include "codec/encode_pipeline.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>
#include <string>

#include "codec/arans/arans.h"
#include "codec/container_limits.h"
#include "codec/decompose.h"
#include "codec/header.h"
#include "codec/method_executor.h"

namespace kestova {

namespace {

// The coefficient image is the int16 sequence's own memory, which needs a little-endian host.
static_assert(std::endian::native == std::endian::little);

// Appends periodic copies of values[0, n) until `values` is full.
void extend_periodically(std::span<float> values, std::size_t n) {
    for (std::size_t k = n; k < values.size(); ++k) values[k] = values[k - n];
}

}  // namespace

NormalizedSignal fill_working_signal(std::span<const float> samples, std::span<float> signal) {
    const std::size_t n = samples.size();
    const SampleRange range = sanitize(samples, signal.first(n));
    // A range beyond the floats is refused by the caller; nothing is normalised by it.
    if (!std::isfinite(range.max - range.min)) return {range, 0.0f};
    const float mean = normalize(signal.first(n), range);
    extend_periodically(signal, n);
    return {range, mean};
}

// 1 to 4 levels for fewer than 80 samples, then compute_max_levels.
std::size_t planned_levels(std::size_t n, std::size_t filter_length) {
    if (n < 80) return n / 20 + 1;
    return compute_max_levels(n, filter_length);
}

KestovaResult<PreparedSignal> prepare_signal(std::span<const float> samples,
                                             CompressionOptions options) {
    const std::size_t n = samples.size();
    if (n == 0) {
        return std::unexpected(
            KestovaError::unsupported_configuration("Can't compress empty data"));
    }
    if (n > kMaxSamples) {
        return std::unexpected(KestovaError::unsupported_configuration(
            "Can't compress data bigger than " + std::to_string(kMaxSamples) + ", but data was " +
            std::to_string(n)));
    }
    if (!is_supported_scale(options.scale)) {
        return std::unexpected(KestovaError::unsupported_scale(options.scale));
    }
    if (!is_known_method(options.method)) {
        return std::unexpected(KestovaError::unsupported_configuration(
            "Unknown compression method " + std::to_string(static_cast<int>(options.method))));
    }

    PreparedSignal prepared;
    prepared.executor = make_method_executor(options.method);
    const std::size_t filter_length = prepared.executor->filter_length();
    prepared.sample_count = n;
    prepared.transform_length = std::max(n, filter_length);

    // Working signal: sanitised, normalised in place, then extended to the transform length.
    prepared.signal = UninitBuffer<float>(prepared.transform_length);
    const NormalizedSignal normalized = fill_working_signal(samples, prepared.signal.span());
    prepared.range = normalized.range;
    if (!std::isfinite(prepared.range.max - prepared.range.min)) {
        return std::unexpected(KestovaError::unsupported_configuration(
            "Signal range exceeds what 32-bit floats can represent"));
    }
    prepared.mean = normalized.mean;

    prepared.layout = level_layout(*prepared.executor, prepared.transform_length,
                                   planned_levels(n, filter_length));
    const auto coder = select_coder(options.coder, uint64_t{2} * prepared.layout.coefficients());
    if (!coder) return std::unexpected(coder.error());
    prepared.coder = *coder;
    return prepared;
}

KestovaResult<UninitBuffer<int16_t>> allocate_coefficients(const LevelLayout& layout) {
    try {
        // Room for the finest details as floats behind where their integers start (and one
        // element to align them), which the analysis writes there first.
        return UninitBuffer<int16_t>(
            std::max(layout.coefficients(),
                     layout.details_offset(0) + 2 * layout.sizes.front().details_length + 1));
    } catch (const std::bad_alloc&) {
        return std::unexpected(KestovaError::out_of_memory(layout.details));
    }
}

KestovaResult<std::vector<uint8_t>> write_container(std::span<const int16_t> coefficients,
                                                    const ContainerFields& fields,
                                                    DeflateFunction deflate) {
    const PreparedSignal& prepared = *fields.prepared;
    // Little-endian int16 memory is the coefficient image byte for byte.
    const std::span<const uint8_t> image(
        reinterpret_cast<const uint8_t*>(coefficients.data()),
        prepared.layout.first_levels(fields.levels).coefficients() * sizeof(int16_t));
    // The container: header space, then the payload (deflate writes straight behind it).
    std::vector<uint8_t> container(HEADER_SIZE);
    if (fields.coder == coder_byte(EntropyCoder::Arans)) {
        const std::vector<uint8_t> payload = arans::encode_stream(image);
        container.insert(container.end(), payload.begin(), payload.end());
    } else {
        const auto deflated = deflate(image, container);
        if (!deflated) return std::unexpected(deflated.error());
    }
    const auto payload_length = payload_length_field(container.size() - HEADER_SIZE);
    if (!payload_length) return std::unexpected(payload_length.error());
    write_header(HeaderFields{.method_tag = method_tag(fields.method),
                              .levels = static_cast<uint8_t>(fields.levels),
                              .scale = fields.scale,
                              .coder = fields.coder,
                              .sample_count = static_cast<uint32_t>(prepared.sample_count),
                              .signal_min = prepared.range.min,
                              .signal_max = prepared.range.max,
                              .normalized_mean = prepared.mean,
                              .payload_length = *payload_length},
                 std::span<uint8_t, HEADER_SIZE>(container.data(), HEADER_SIZE));
    return container;
}

KestovaResult<std::vector<uint8_t>> encode_with(std::span<const float> samples,
                                                CompressionOptions options,
                                                const LevelQuantizer& quantizer,
                                                DeflateFunction deflate) {
    auto prepared = prepare_signal(samples, options);
    if (!prepared) return std::unexpected(prepared.error());
    auto coefficients = allocate_coefficients(prepared->layout);
    if (!coefficients) return std::unexpected(coefficients.error());
    const auto levels =
        decompose_and_quantize(*prepared->executor, prepared->layout, prepared->signal.span(),
                               quantizer, coefficients->span());
    if (!levels) return std::unexpected(levels.error());
    prepared->signal.reset();
    return write_container(coefficients->span(),
                           {.method = options.method,
                            .levels = *levels,
                            .scale = options.scale,
                            .coder = prepared->coder,
                            .prepared = &*prepared},
                           deflate);
}

}  // namespace kestova
