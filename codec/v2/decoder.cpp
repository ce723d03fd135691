#include "codec/v2/decoder.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "codec/v2/block_modes.h"
#include "codec/v2/element_dispatch.h"
#include "codec/v2/grid.h"
#include "codec/v2/linear_predictor.h"
#include "codec/v2/predictor.h"
#include "codec/v2/text.h"

namespace kestova::v2 {

namespace {

KestovaError damaged(std::string text) {
    return KestovaError::decompression_failed(std::move(text));
}

uint32_t read_u32(std::span<const uint8_t> bytes, std::size_t offset) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t{bytes[offset + i]} << (8 * i);
    return value;
}

template <typename T>
void store_samples(Grid grid, std::span<const int64_t> indices, uint8_t* out) {
    for (const int64_t k : indices) {
        const T sample = grid_sample<T>(grid, static_cast<uint64_t>(k));
        std::memcpy(out, &sample, sizeof(T));
        out += sizeof(T);
    }
}

}  // namespace

KestovaResult<void> decode_into(const StreamInfo& info, std::span<uint8_t> out) {
    if (out.size() / info.element.size != info.sample_count ||
        out.size() % info.element.size != 0) {
        return std::unexpected(damaged("The output buffer does not fit the stream's samples"));
    }
    const uint64_t blocks = info.block_count();
    const auto payload = info.payload;
    if (blocks > payload.size() / 4) {
        return std::unexpected(
            damaged(message("{} blocks do not fit a payload of {} bytes", blocks, payload.size())));
    }
    const std::size_t table = 4 * static_cast<std::size_t>(blocks);
    uint64_t coded = 0;
    for (std::size_t b = 0; b < blocks; ++b) coded += read_u32(payload, 4 * b);
    if (coded != payload.size() - table) {
        return std::unexpected(damaged(message("The blocks take {} bytes, but the payload holds {}",
                                               coded, payload.size() - table)));
    }

    const std::size_t block = std::size_t{1} << info.block_log2;
    std::vector<int64_t> values;
    try {
        values.resize(static_cast<std::size_t>(std::min<uint64_t>(block, info.sample_count)));
    } catch (const std::bad_alloc&) {
        return std::unexpected(KestovaError::out_of_memory(values.size()));
    }
    DifferenceState state;
    LinearState linear;
    std::vector<Frame> frames;
    std::size_t position = table;
    const int order = info.order();
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t length = read_u32(payload, 4 * b);
        const std::size_t first = b * block;
        const auto part = std::span(values).first(
            static_cast<std::size_t>(std::min<uint64_t>(block, info.sample_count - first)));
        auto coded = payload.subspan(position, length);
        bool whole = true;
        if (info.linear()) {
            frames.resize(frames_in(part.size()));
            const auto described = read_frames(coded, frames);
            whole = described.has_value();
            if (whole) coded = coded.subspan(*described);
        }
        if (!whole || !decode_residuals(info.coder, coded, part)) {
            return std::unexpected(damaged(message("Block {} is damaged", b)));
        }
        position += length;
        // Undone and stored a frame at a time, while its indices are still in the nearest cache.
        for (std::size_t at = 0; at < part.size(); at += kFrame) {
            const auto piece = part.subspan(at, std::min(kFrame, part.size() - at));
            if (!(info.linear()
                      ? undo_linear(piece, std::span(frames).subspan(at / kFrame, 1), linear)
                      : undo_differences(piece, order, state))) {
                return std::unexpected(damaged(message("Block {} is damaged", b)));
            }
            with_element_type(info.element.type, [&]<typename T>(std::type_identity<T>) {
                store_samples<T>(info.grid, piece, out.data() + (first + at) * sizeof(T));
            });
        }
    }
    return {};
}

KestovaResult<DecodedSignal> decode(std::span<const uint8_t> bytes) {
    auto info = read_stream_info(bytes);
    if (!info) return std::unexpected(info.error());
    DecodedSignal decoded{*info, {}};
    try {
        decoded.samples.resize(static_cast<std::size_t>(info->sample_count) * info->element.size);
    } catch (const std::bad_alloc&) {
        return std::unexpected(KestovaError::out_of_memory(info->sample_count));
    }
    if (auto done = decode_into(*info, decoded.samples); !done) {
        return std::unexpected(done.error());
    }
    return decoded;
}

}  // namespace kestova::v2
