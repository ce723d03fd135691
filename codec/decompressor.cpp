#include "codec/decompressor.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>

#include "codec/arans/arans.h"
#include "codec/deflate.h"
#include "codec/header.h"
#include "codec/level_layout.h"
#include "codec/method_executor.h"
#include "codec/normalize.h"
#include "codec/quantize.h"
#include "codec/uninit_buffer.h"

namespace kestova {

namespace {

constexpr uint32_t kMaxSamples = 2147483647;
constexpr uint8_t kMaxLevels = 10;

KestovaError failed(std::string text) {
    return KestovaError::decompression_failed(std::move(text));
}

// The coefficient image of the payload; inflation stops once `needed` bytes are out. Neither
// coder allocates more than its stream can justify, so a forged sample count costs nothing.
KestovaResult<std::vector<uint8_t>> decode_payload(std::span<const uint8_t> payload, uint8_t coder,
                                                   std::size_t needed) {
    if (coder == 0) return inflate_raw(payload, needed);
    auto image = arans::decode_stream(payload);
    if (!image) return std::unexpected(failed(std::string(arans::to_string(image.error()))));
    return std::move(*image);
}

}  // namespace

KestovaResult<std::vector<float>> decompress(std::span<const uint8_t> bytes) {
    const auto parsed = KestovaHeader::from_bytes(bytes);
    if (!parsed) return std::unexpected(parsed.error());
    const KestovaHeader& header = *parsed;
    if (header.sample_count > kMaxSamples) {
        return std::unexpected(failed("Can't decompress data bigger than " +
                                      std::to_string(kMaxSamples) + ", but data was " +
                                      std::to_string(header.sample_count)));
    }
    if (header.levels > kMaxLevels) {
        return std::unexpected(
            failed("Max supported level is 10 but it was " + std::to_string(header.levels)));
    }
    if (header.levels == 0) {
        return std::unexpected(failed("Min supported level is 1 but it was 0"));
    }
    const auto method = method_from_tag(header.method_tag);
    if (!method) return std::unexpected(KestovaError::invalid_method(header.method_tag));
    if (header.coder >= 2) return std::unexpected(KestovaError::unknown_coder(header.coder));

    const Undra::SharedDwtExecutor executor = make_method_executor(*method);
    const std::size_t sample_count = header.sample_count;
    const std::size_t transform_length = std::max(sample_count, executor->filter_length());
    const LevelLayout layout = level_layout(*executor, transform_length, header.levels);

    const std::size_t container_length = HEADER_SIZE + std::size_t{header.payload_length};
    if (bytes.size() < container_length) {
        return std::unexpected(failed("Minimum data size is " + std::to_string(container_length) +
                                      ", but it was " + std::to_string(bytes.size())));
    }
    const std::size_t needed = layout.coefficients();
    auto image =
        decode_payload(bytes.subspan(HEADER_SIZE, header.payload_length), header.coder, 2 * needed);
    if (!image) return std::unexpected(image.error());
    const std::size_t available = image->size() / 2;
    if (available < needed) {
        return std::unexpected(failed("Decoded data holds " + std::to_string(available) +
                                      " coefficients, but the levels need " +
                                      std::to_string(needed)));
    }
    if (header.scale < 6 || header.scale > 12) {
        return std::unexpected(
            failed("Supported scales only [6, 12] but it was " + std::to_string(header.scale)));
    }

    UninitBuffer<float> coefficients;
    try {
        coefficients = UninitBuffer<float>(needed);
    } catch (const std::bad_alloc&) {
        return std::unexpected(KestovaError::out_of_memory(needed));
    }
    dequantize(*image, std::ldexp(1.0f, -static_cast<int>(header.scale)), coefficients.span());
    std::vector<uint8_t>().swap(*image);

    std::vector<std::span<const float>> details;
    details.reserve(layout.sizes.size());
    for (std::size_t level = 0; level < layout.sizes.size(); ++level) {
        details.push_back(
            std::span<const float>(coefficients.span())
                .subspan(layout.details_offset(level), layout.sizes[level].details_length));
    }
    auto signal = executor->multi_idwt(Undra::MultiDwtView{
        .details = details,
        .approximations =
            std::span<const float>(coefficients.span()).first(layout.approximations)});
    if (!signal) return std::unexpected(KestovaError::transform(signal.error().message()));
    coefficients.reset();

    const SampleRange range{header.signal_min, header.signal_max};
    denormalize(std::span(*signal).first(std::min(signal->size(), sample_count)),
                header.normalized_mean, range);
    signal->resize(sample_count, 0.0f);
    return std::move(*signal);
}

}  // namespace kestova
