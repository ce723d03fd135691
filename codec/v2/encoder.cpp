#include "codec/v2/encoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

#include "codec/v2/block_modes.h"
#include "codec/v2/format.h"
#include "codec/v2/linear_predictor.h"
#include "codec/v2/predictor.h"
#include "codec/v2/psnr_quantizer.h"
#include "codec/v2/text.h"

namespace kestova::v2 {

namespace {

// How the encoder turns one block of indices into residuals: the order-th differences, or with
// `frames` (one per kFrame indices of every block) the linear method.
struct Prediction {
    const MethodRow* method = nullptr;
    std::vector<Frame> frames;
    std::vector<int32_t> residuals;  // the linear method's, when the plan kept them
};

Prediction choose_prediction(std::span<const uint32_t> indices, std::size_t block) {
    LinearPlan linear = plan_linear(indices, block);
    const auto row = [](int order, bool is_linear) {
        return &*std::ranges::find_if(kMethods, [&](const MethodRow& m) {
            return m.order == order && m.linear == is_linear;
        });
    };
    const bool second = linear.second_differences_fit &&
                        linear.second_difference_bits < linear.first_difference_bits;
    const uint64_t differences =
        second ? linear.second_difference_bits : linear.first_difference_bits;
    if (linear.bits < differences) {
        return {row(1, true), std::move(linear.frames), std::move(linear.residuals)};
    }
    return {row(second ? 2 : 1, false), {}, {}};
}

// The payload: the table of coded block lengths, then the blocks (for the linear method each
// block starts with its frames' descriptions).
void write_payload(std::span<const uint32_t> indices, const Prediction& prediction,
                   const StreamInfo& info, std::vector<uint8_t>& stream) {
    const uint8_t block_log2 = info.block_log2;
    const std::size_t block = std::size_t{1} << block_log2;
    const std::size_t blocks = (indices.size() + block - 1) / block;
    const std::size_t table = stream.size();
    stream.resize(table + 4 * blocks);
    std::vector<int64_t> residuals(std::min(block, indices.size()));
    DifferenceState state;
    LinearState linear;
    ResidualEncoder coder(info.coder);
    for (std::size_t b = 0; b < blocks; ++b) {
        const auto part = indices.subspan(b * block, std::min(block, indices.size() - b * block));
        const auto values = std::span(residuals).first(part.size());
        const std::size_t before = stream.size();
        if (prediction.method->linear) {
            const auto frames =
                std::span(prediction.frames).subspan(b * frames_in(block), frames_in(part.size()));
            if (prediction.residuals.empty()) {
                linear_residuals(part, frames, linear, values);
            } else {
                const auto kept = std::span(prediction.residuals).subspan(b * block, part.size());
                std::ranges::copy(kept, values.begin());
            }
            append_frames(frames, stream);
        } else {
            differences(part, prediction.method->order, state, values);
        }
        coder.encode(values, stream);
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
    StreamInfo info;
    info.coder = coder_for(samples.count);
    info.element = *element_row(samples.type);
    info.sample_count = samples.count;
    info.grid = quantized->grid;
    info.block_log2 = kBlockLog2;

    Encoded out;
    try {
        const Prediction prediction =
            choose_prediction(quantized->indices, std::size_t{1} << kBlockLog2);
        info.method = prediction.method->byte;
        out.stream.resize(kHeaderSize);
        write_payload(quantized->indices, prediction, info, out.stream);
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
    return encode_quantized(samples, quantize_within(samples, target, false));
}

KestovaResult<Encoded> encode_psnr(SampleView samples, double psnr) {
    // Kept only where a second search may follow.
    std::optional<Quantized> first_grid;
    const bool may_lean = psnr <= kLeaningPsnr;
    auto nearest = encode_quantized(
        samples, quantize_to_psnr(samples, psnr, false, may_lean ? &first_grid : nullptr));
    if (!nearest || !leaning_may_pay(psnr, nearest->method)) return nearest;
    auto leaning = encode_quantized(samples, quantize_to_psnr(samples, psnr, true, &first_grid));
    // Two returns, not a conditional expression: that would copy the stream it returns.
    if (leaning && leaning->stream.size() < nearest->stream.size()) return leaning;
    return nearest;
}

}  // namespace kestova::v2
