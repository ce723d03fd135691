#include "codec/v2/encoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

#include "codec/v2/class_coder.h"
#include "codec/v2/format.h"
#include "codec/v2/predictor.h"
#include "codec/v2/text.h"

namespace kestova::v2 {

namespace {

// The payload: the table of coded block lengths, then the blocks.
void write_payload(std::span<const uint32_t> indices, int order, uint8_t block_log2,
                   std::vector<uint8_t>& stream) {
    const std::size_t block = std::size_t{1} << block_log2;
    const std::size_t blocks = (indices.size() + block - 1) / block;
    const std::size_t table = stream.size();
    stream.resize(table + 4 * blocks);
    std::vector<int64_t> residuals(std::min(block, indices.size()));
    DifferenceState state;
    for (std::size_t b = 0; b < blocks; ++b) {
        const auto part = indices.subspan(b * block, std::min(block, indices.size() - b * block));
        const auto values = std::span(residuals).first(part.size());
        differences(part, order, state, values);
        const std::size_t before = stream.size();
        encode_block(values, stream);
        const auto length = static_cast<uint32_t>(stream.size() - before);
        for (int i = 0; i < 4; ++i) {
            stream[table + 4 * b + i] = static_cast<uint8_t>(length >> (8 * i));
        }
    }
}

// The stream of samples already on their grid.
KestovaResult<Encoded> encode_quantized(SampleView samples, KestovaResult<Quantized> quantized) {
    if (!quantized) return std::unexpected(quantized.error());
    // A bound near the float64 range can make twice it overflow: such a grid decodes to nothing,
    // so it is refused here rather than written into a stream every decoder refuses.
    if (!(std::isfinite(quantized->grid.step) && quantized->grid.step > 0.0)) {
        return std::unexpected(KestovaError::unsupported_configuration(
            message("the grid step for these samples is {}: their range {} is too close to the "
                    "float64 range for this target; give a smaller one",
                    quantized->grid.step, quantized->range)));
    }
    const int order = choose_order(quantized->indices);

    StreamInfo info;
    info.method = std::ranges::find(kMethods, order, &MethodRow::order)->byte;
    info.coder = kCoders[0].byte;
    info.element = *element_row(samples.type);
    info.sample_count = samples.count;
    info.grid = quantized->grid;
    info.block_log2 = kBlockLog2;

    Encoded out;
    try {
        out.stream.resize(kHeaderSize);
        write_payload(quantized->indices, order, info.block_log2, out.stream);
        quantized->indices = {};
        info.stream_length = out.stream.size() + kChecksumSize;
        const auto header = header_bytes(info);
        std::ranges::copy(header, out.stream.begin());
        append_checksum(out.stream);
    } catch (const std::bad_alloc&) {
        return std::unexpected(KestovaError::out_of_memory(samples.count));
    }
    out.max_error = quantized->max_error;
    out.grid = quantized->grid;
    out.method = info.method;
    return out;
}

}  // namespace

KestovaResult<Encoded> encode(SampleView samples, MaxError target) {
    return encode_quantized(samples, quantize_within(samples, target));
}

KestovaResult<Encoded> encode_psnr(SampleView samples, double psnr) {
    return encode_quantized(samples, quantize_to_psnr(samples, psnr));
}

}  // namespace kestova::v2
