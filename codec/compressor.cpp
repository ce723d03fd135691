#include "codec/compressor.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <optional>

#include "codec/deflate.h"
#include "codec/encode_pipeline.h"
#include "codec/level_quantizer.h"
#include "codec/method_executor.h"

namespace kestova {

namespace {

constexpr unsigned kMinLevels = 1;
constexpr unsigned kMaxLevels = 8;

// compress, on the path `isa` or on the processor's best path.
KestovaResult<std::vector<uint8_t>> compress_on(std::span<const float> samples,
                                                CompressionOptions options,
                                                std::optional<Undra::Isa> isa) {
    // A scale outside 6..12 is refused by the pipeline before the quantizer is used.
    return encode_with(samples, options, isa, ReferenceQuantizer(options.scale, options.cutoff),
                       deflate_raw);
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
