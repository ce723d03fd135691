#include "codec/compressor.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <new>
#include <optional>
#include <string>

#include "codec/arans/arans.h"
#include "codec/container_limits.h"
#include "codec/decompose.h"
#include "codec/deflate.h"
#include "codec/header.h"
#include "codec/level_layout.h"
#include "codec/method_executor.h"
#include "codec/normalize.h"
#include "codec/quantize.h"
#include "codec/uninit_buffer.h"

namespace kestova {

namespace {

// The coefficient image is the int16 sequence's own memory, which needs a little-endian host.
static_assert(std::endian::native == std::endian::little);

constexpr unsigned kMinLevels = 1;
constexpr unsigned kMaxLevels = 8;

// Level count for n samples: 1 to 4 for fewer than 80 samples, then compute_max_levels.
std::size_t level_count(std::size_t n, std::size_t filter_length) {
    if (n < 80) return n / 20 + 1;
    return compute_max_levels(n, filter_length);
}

// Appends periodic copies of values[0, n) until `values` is full.
void extend_periodically(std::span<float> values, std::size_t n) {
    for (std::size_t k = n; k < values.size(); ++k) values[k] = values[k - n];
}

// compress, on the path `isa` or on the processor's best path.
KestovaResult<std::vector<uint8_t>> compress_on(std::span<const float> samples,
                                                CompressionOptions options,
                                                std::optional<Undra::Isa> isa) {
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

    const Undra::SharedDwtExecutor executor = make_method_executor(options.method, isa);
    const std::size_t filter_length = executor->filter_length();
    const std::size_t transform_length = std::max(n, filter_length);

    // Working signal: sanitised, normalised in place, then extended to the transform length.
    UninitBuffer<float> signal(transform_length);
    const SampleRange range = sanitize(samples, signal.span().first(n));
    if (!std::isfinite(range.max - range.min)) {
        return std::unexpected(KestovaError::unsupported_configuration(
            "Signal range exceeds what 32-bit floats can represent"));
    }
    const float mean = normalize(signal.span().first(n), range);
    extend_periodically(signal.span(), n);

    const LevelLayout layout =
        level_layout(*executor, transform_length, level_count(n, filter_length));
    const auto coder = select_coder(options.coder, uint64_t{2} * layout.coefficients());
    if (!coder) return std::unexpected(coder.error());

    UninitBuffer<int16_t> coefficients;
    try {
        coefficients = UninitBuffer<int16_t>(layout.coefficients());
    } catch (const std::bad_alloc&) {
        return std::unexpected(KestovaError::out_of_memory(layout.details));
    }
    const float multiplier = std::ldexp(1.0f, options.scale);
    const auto levels = decompose_and_quantize(*executor, layout, signal.span(), multiplier,
                                               cutoff_threshold(options.scale, options.cutoff),
                                               coefficients.span());
    if (!levels) return std::unexpected(levels.error());
    signal.reset();

    // Little-endian int16 memory is the coefficient image byte for byte.
    const std::span<const uint8_t> image(
        reinterpret_cast<const uint8_t*>(coefficients.span().data()),
        layout.first_levels(*levels).coefficients() * sizeof(int16_t));
    // The container: header space, then the payload (deflate writes straight behind it).
    std::vector<uint8_t> container(HEADER_SIZE);
    if (*coder == coder_byte(EntropyCoder::Arans)) {
        const std::vector<uint8_t> payload = arans::encode_stream(image);
        container.insert(container.end(), payload.begin(), payload.end());
    } else {
        const auto deflated = deflate_raw(image, container);
        if (!deflated) return std::unexpected(deflated.error());
    }
    coefficients.reset();
    const auto payload_length = payload_length_field(container.size() - HEADER_SIZE);
    if (!payload_length) return std::unexpected(payload_length.error());
    write_header(HeaderFields{.method_tag = method_tag(options.method),
                              .levels = static_cast<uint8_t>(*levels),
                              .scale = options.scale,
                              .coder = *coder,
                              .sample_count = static_cast<uint32_t>(n),
                              .signal_min = range.min,
                              .signal_max = range.max,
                              .normalized_mean = mean,
                              .payload_length = *payload_length},
                 std::span<uint8_t, HEADER_SIZE>(container.data(), HEADER_SIZE));
    return container;
}

}  // namespace

std::size_t compute_max_levels(std::size_t length, std::size_t filter_length) {
    if (length < filter_length) return kMinLevels;
    const uint32_t divisor = static_cast<uint32_t>(filter_length);
    if (divisor == 0) return kMinLevels;
    const uint32_t q = static_cast<uint32_t>(length) / divisor;
    const unsigned log2 = q == 0 ? 0 : std::bit_width(q) - 1;
    return std::clamp(log2, kMinLevels, kMaxLevels);
}

KestovaResult<std::vector<uint8_t>> compress(std::span<const float> samples,
                                             CompressionOptions options) {
    return compress_on(samples, options, std::nullopt);
}

KestovaResult<std::vector<uint8_t>> compress(std::span<const float> samples,
                                             CompressionOptions options, Undra::Isa isa) {
    const auto supported = require_isa(isa);
    if (!supported) return std::unexpected(supported.error());
    return compress_on(samples, options, isa);
}

}  // namespace kestova
