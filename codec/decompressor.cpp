#include "codec/decompressor.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>

#include "codec/arans/arans.h"
#include "codec/container_limits.h"
#include "codec/deflate.h"
#include "codec/header.h"
#include "codec/level_layout.h"
#include "codec/method_executor.h"
#include "codec/normalize.h"
#include "codec/quantize.h"
#include "codec/reconstruct.h"
#include "codec/uninit_buffer.h"

namespace kestova {

namespace {

KestovaError failed(std::string text) {
    return KestovaError::decompression_failed(std::move(text));
}

}  // namespace

KestovaResult<std::vector<float>> decompress(std::span<const uint8_t> bytes) {
    const auto parsed = KestovaHeader::from_bytes(bytes);
    if (!parsed) return std::unexpected(parsed.error());
    const KestovaHeader& header = *parsed;
    if (const auto limits = check_container_limits(header); !limits) {
        return std::unexpected(limits.error());
    }
    // The header has refused unknown method tags, coders and scales.
    const Undra::SharedDwtExecutor executor =
        make_method_executor(*method_from_tag(header.method_tag));
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
    const std::size_t available = image->bytes.size() / 2;
    if (available < needed) {
        return std::unexpected(failed("Decoded data holds " + std::to_string(available) +
                                      " coefficients, but the levels need " +
                                      std::to_string(needed)));
    }

    UninitBuffer<float> coefficients;
    try {
        coefficients = UninitBuffer<float>(needed);
    } catch (const std::bad_alloc&) {
        return std::unexpected(KestovaError::out_of_memory(needed));
    }
    dequantize(image->bytes, std::ldexp(1.0f, -static_cast<int>(header.scale)),
               coefficients.span());
    *image = DecodedImage{};

    auto signal = reconstruct_consuming(*executor, layout, transform_length, coefficients.span());
    if (!signal) return std::unexpected(KestovaError::transform(signal.error().message()));
    coefficients.reset();

    const SampleRange range{header.signal_min, header.signal_max};
    denormalize(std::span(*signal).first(std::min(signal->size(), sample_count)),
                header.normalized_mean, range);
    signal->resize(sample_count, 0.0f);
    return std::move(*signal);
}

KestovaResult<DecodedImage> decode_payload(std::span<const uint8_t> payload, uint8_t coder,
                                           std::size_t needed) {
    DecodedImage image;
    if (coder == coder_byte(EntropyCoder::Deflate)) {
        auto inflated = inflate_raw(payload, needed);
        if (!inflated) return std::unexpected(inflated.error());
        image.inflated = std::move(*inflated);
        image.bytes = image.inflated.bytes();
        return image;
    }
    auto decoded = arans::decode_stream(payload);
    if (!decoded) return std::unexpected(failed(std::string(arans::to_string(decoded.error()))));
    image.decoded = std::move(*decoded);
    image.bytes = image.decoded;
    return image;
}

}  // namespace kestova
