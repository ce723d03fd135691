// Streams through the C interface: options, compression with each encoder, decoding, headers
// and the .kst record.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include <zlib.h>

#include "capi/boundary.h"
#include "capi/settings.h"
#include "codec/chunk/chunk_codec.h"
#include "codec/chunk/sample_checks.h"
#include "codec/chunk/v2_chunk.h"
#include "codec/compressor.h"
#include "codec/container_limits.h"
#include "codec/decompressor.h"
#include "codec/header.h"
#include "codec/method_table.h"
#include "codec/tuned/tuned_compressor.h"
#include "codec/v2/decoder.h"
#include "codec/v2/element_dispatch.h"
#include "codec/v2/format.h"

namespace kestova::capi {

namespace {

// The stream of `samples`: the reference or tuned encoder as asked, or, with an error bound or
// version 2, the chunk layer's rule for a float32 chunk (the rule every other surface holds
// bounds by). The samples are checked by the chunk rules either way.
std::expected<std::vector<uint8_t>, Outcome> encode_stream(std::span<const float> samples,
                                                           const kestova_options* options) {
    const auto settings = settings_of(options);
    if (!settings) return std::unexpected(settings.error());
    if (settings->bound != BoundKind::None || settings->format == 2) {
        const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(samples.data()),
                                             samples.size_bytes());
        auto encoded = encode_chunk(bytes, ElementType::Float32, *settings, false);
        if (!encoded) return std::unexpected(failure(KESTOVA_ERROR_REFUSED, encoded.error()));
        return std::move(*encoded);
    }
    // The chunk rules refuse what the compressor would silently change: NaN and infinities
    // (stored as finite numbers) and a nonzero range too small to scale by (stored flat). The
    // range is the header's, so that the check costs no pass of its own.
    if (const NonFinite non_finite = find_non_finite(samples); non_finite.count > 0) {
        return std::unexpected(failure(KESTOVA_ERROR_REFUSED, non_finite_refusal(non_finite)));
    }
    auto encoded = settings->encoder == Encoder::Tuned ? compress_tuned(samples, settings->options)
                                                       : compress(samples, settings->options);
    if (!encoded) return std::unexpected(codec_failure(encoded.error()));
    const auto header = KestovaHeader::from_bytes(*encoded);
    if (!header) return std::unexpected(codec_failure(header.error()));
    if (auto refusal = unscalable_span(header->signal_min, header->signal_max)) {
        return std::unexpected(failure(KESTOVA_ERROR_REFUSED, std::move(*refusal)));
    }
    return std::move(*encoded);
}

// The version-2 stream at the start of `bytes` (a .kst file's record may follow it: the stream
// is what its stated length covers), every field and the checksum checked.
std::expected<v2::StreamInfo, Outcome> v2_stream_info(std::span<const uint8_t> bytes) {
    const auto length = v2::stated_stream_length(bytes);
    if (!length) return std::unexpected(codec_failure(length.error()));
    auto info = v2::read_stream_info(bytes.first(*length));
    if (!info) return std::unexpected(codec_failure(info.error()));
    return std::move(*info);
}

template <typename T>
void widen_to_float(const std::vector<uint8_t>& elements, std::vector<float>& out) {
    for (std::size_t i = 0; i < out.size(); ++i) {
        T value;
        std::memcpy(&value, &elements[i * sizeof(T)], sizeof(T));
        out[i] = static_cast<float>(value);
    }
}

// The samples of a version-2 stream as float32, whatever its element type.
std::expected<std::vector<float>, Outcome> decode_v2_stream(std::span<const uint8_t> bytes) {
    const auto info = v2_stream_info(bytes);
    if (!info) return std::unexpected(info.error());
    std::vector<uint8_t> elements(info->sample_count * info->element.size);
    if (const auto decoded = v2::decode_into(*info, elements); !decoded) {
        return std::unexpected(codec_failure(decoded.error()));
    }
    std::vector<float> out(info->sample_count);
    v2::with_element_type(info->element.type, [&]<typename T>(std::type_identity<T>) {
        widen_to_float<T>(elements, out);
    });
    return out;
}

// The decoder of the header's version.
std::expected<std::vector<float>, Outcome> decode_stream(std::span<const uint8_t> stream) {
    if (is_v2_stream(stream)) return decode_v2_stream(stream);
    auto samples = decompress(stream);
    if (!samples) return std::unexpected(codec_failure(samples.error()));
    return std::move(*samples);
}

// The parsed header, checked as the decoder checks it before decoding anything.
std::expected<KestovaHeader, Outcome> checked_header(std::span<const uint8_t> stream) {
    auto header = KestovaHeader::from_bytes(stream);
    if (!header) return std::unexpected(codec_failure(header.error()));
    if (const auto limits = check_container_limits(*header); !limits) {
        return std::unexpected(codec_failure(limits.error()));
    }
    return *header;
}

// What either version's header says of the stream's extent.
struct StreamExtent {
    uint64_t samples = 0;
    std::size_t stream_size = 0;  // where a .kst record would begin
};

std::expected<StreamExtent, Outcome> stream_extent(std::span<const uint8_t> stream) {
    if (is_v2_stream(stream)) {
        const auto info = v2_stream_info(stream);
        if (!info) return std::unexpected(info.error());
        return StreamExtent{info->sample_count, info->stream_length};
    }
    const auto header = checked_header(stream);
    if (!header) return std::unexpected(header.error());
    return StreamExtent{header->sample_count, HEADER_SIZE + std::size_t{header->payload_length}};
}

std::span<const uint8_t> bytes_of(const uint8_t* data, std::size_t size) {
    return {data, size};
}

uint32_t read_le32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
           uint32_t{bytes[3]} << 24;
}

// The record's layout (docs/format.md): magic, version, body length, CRC-32 of the body, body.
constexpr std::array<uint8_t, 4> kRecordMagic{'K', 'S', 'T', 'R'};
constexpr uint8_t kRecordVersion = 1;
constexpr std::size_t kRecordPreamble = 13;

Outcome read_record(std::span<const uint8_t> file, kestova_record* record) {
    const auto extent = stream_extent(file);
    if (!extent) return extent.error();
    const std::size_t start = extent->stream_size;
    if (file.size() < start) {
        return failure(KESTOVA_ERROR_DECOMPRESSION_FAILED, "the stream is cut short");
    }
    if (file.size() == start) return failure(KESTOVA_ERROR_NO_RECORD, {});
    const std::span<const uint8_t> tail = file.subspan(start);
    const auto invalid = [](const char* text) {
        return failure(KESTOVA_ERROR_INVALID_RECORD, text);
    };
    if (tail.size() < kRecordPreamble ||
        !std::equal(kRecordMagic.begin(), kRecordMagic.end(), tail.begin())) {
        return invalid("no Kestova record follows the stream");
    }
    if (tail[4] != kRecordVersion) return invalid("unknown record version");
    const uint32_t length = read_le32(&tail[5]);
    if (length != tail.size() - kRecordPreamble)
        return invalid("the record's length does not end the file");
    const std::span<const uint8_t> body = tail.subspan(kRecordPreamble);
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), body.data(), static_cast<uInt>(body.size()));
    if (crc != read_le32(&tail[9])) return invalid("the record's checksum does not match");
    *record = {kRecordVersion, body.data(), body.size()};
    return {};
}

kestova_method method_of(const std::array<uint8_t, 4>& tag) {
    for (const MethodEntry& entry : kMethods) {
        if (entry.tag == tag) return static_cast<kestova_method>(entry.method);
    }
    return KESTOVA_METHOD_CDF97;  // from_bytes refuses every other tag
}

// The name into a header's fixed field, NUL-terminated (every name fits).
void put_name(std::string_view name, char (&field)[8]) {
    const std::size_t length = std::min(name.size(), sizeof field - 1);
    std::memcpy(field, name.data(), length);
    field[length] = '\0';
}

// The header of a version-2 stream: its own fields and the shared ones.
Outcome read_v2_header(std::span<const uint8_t> stream, kestova_header* header) {
    const auto info = v2_stream_info(stream);
    if (!info) return info.error();
    kestova_header out{};
    out.version_major = v2::kVersion;
    out.sample_count = static_cast<uint32_t>(std::min<uint64_t>(info->sample_count, UINT32_MAX));
    out.payload_length =
        static_cast<uint32_t>(std::min<std::size_t>(info->payload.size(), UINT32_MAX));
    out.stream_size = info->stream_length;
    out.samples = info->sample_count;
    put_name(info->element.name, out.element_type);
    out.step = info->grid.step;
    out.origin = info->grid.origin;
    *header = out;
    return {};
}

}  // namespace

}  // namespace kestova::capi

using namespace kestova;
using namespace kestova::capi;

extern "C" {

void kestova_options_default(kestova_options* options) {
    if (options == nullptr) return;
    constexpr CompressionOptions defaults{};
    *options = {
        .method = static_cast<kestova_method>(defaults.method),
        .coder = static_cast<kestova_coder>(defaults.coder),
        .cutoff = static_cast<kestova_cutoff>(defaults.cutoff),
        .scale = defaults.scale,
        .encoder = KESTOVA_ENCODER_REFERENCE,
        .bound = KESTOVA_BOUND_NONE,
        .max_error = 0.0,
        .choose_method = 0,
        .stream_version = 0,
        .psnr = 0.0,
        .bits_per_sample = 0.0,
    };
}

kestova_status kestova_compress(const float* samples, size_t count, const kestova_options* options,
                                uint8_t** out, size_t* out_size, kestova_error* error) {
    return guarded(error, [&]() -> Outcome {
        if (samples == nullptr && count != 0) return null_pointer("samples");
        if (out == nullptr || out_size == nullptr) return null_pointer("out");
        const auto stream = encode_stream({samples, count}, options);
        if (!stream) return stream.error();
        return hand_over<uint8_t>(*stream, out, out_size);
    });
}

kestova_status kestova_compress_into(const float* samples, size_t count,
                                     const kestova_options* options, uint8_t* dst, size_t capacity,
                                     size_t* written, kestova_error* error) {
    return guarded(error, [&]() -> Outcome {
        if (samples == nullptr && count != 0) return null_pointer("samples");
        if (written == nullptr) return null_pointer("written");
        if (dst == nullptr && capacity != 0) return null_pointer("dst");
        const auto stream = encode_stream({samples, count}, options);
        if (!stream) return stream.error();
        return copy_into<uint8_t>(*stream, dst, capacity, written, "bytes");
    });
}

kestova_status kestova_decoded_count(const uint8_t* stream, size_t size, size_t* count,
                                     kestova_error* error) {
    return guarded(error, [&]() -> Outcome {
        if (stream == nullptr && size != 0) return null_pointer("stream");
        if (count == nullptr) return null_pointer("count");
        const auto extent = stream_extent(bytes_of(stream, size));
        if (!extent) return extent.error();
        if (extent->samples > SIZE_MAX) {
            return failure(KESTOVA_ERROR_REFUSED,
                           "the stream holds more samples than size_t counts");
        }
        *count = static_cast<std::size_t>(extent->samples);
        return {};
    });
}

kestova_status kestova_decompress(const uint8_t* stream, size_t size, float** samples,
                                  size_t* count, kestova_error* error) {
    return guarded(error, [&]() -> Outcome {
        if (stream == nullptr && size != 0) return null_pointer("stream");
        if (samples == nullptr || count == nullptr) return null_pointer("samples");
        const auto decoded = decode_stream(bytes_of(stream, size));
        if (!decoded) return decoded.error();
        return hand_over<float>(*decoded, samples, count);
    });
}

kestova_status kestova_decompress_into(const uint8_t* stream, size_t size, float* dst,
                                       size_t capacity, size_t* count, kestova_error* error) {
    return guarded(error, [&]() -> Outcome {
        if (stream == nullptr && size != 0) return null_pointer("stream");
        if (count == nullptr) return null_pointer("count");
        if (dst == nullptr && capacity != 0) return null_pointer("dst");
        // The header says how many samples come out: refuse a short buffer before decoding.
        const auto extent = stream_extent(bytes_of(stream, size));
        if (!extent) return extent.error();
        if (extent->samples > capacity) {
            *count = static_cast<std::size_t>(std::min<uint64_t>(extent->samples, SIZE_MAX));
            return too_small(capacity, *count, "samples");
        }
        const auto decoded = decode_stream(bytes_of(stream, size));
        if (!decoded) return decoded.error();
        return copy_into<float>(*decoded, dst, capacity, count, "samples");
    });
}

kestova_status kestova_read_header(const uint8_t* stream, size_t size, kestova_header* header,
                                   kestova_error* error) {
    return guarded(error, [&]() -> Outcome {
        if (stream == nullptr && size != 0) return null_pointer("stream");
        if (header == nullptr) return null_pointer("header");
        if (is_v2_stream(bytes_of(stream, size)))
            return read_v2_header(bytes_of(stream, size), header);
        const auto parsed = checked_header(bytes_of(stream, size));
        if (!parsed) return parsed.error();
        kestova_header out{};
        out.version_major = parsed->version[0];
        out.version_minor = parsed->version[1];
        std::memcpy(out.method_tag, parsed->method_tag.data(), 4);
        out.method = method_of(parsed->method_tag);
        out.levels = parsed->levels;
        out.scale = parsed->scale;
        out.coder = static_cast<kestova_coder>(parsed->coder);
        out.flags = parsed->flags;
        out.sample_count = parsed->sample_count;
        out.signal_min = parsed->signal_min;
        out.signal_max = parsed->signal_max;
        out.normalized_mean = parsed->normalized_mean;
        out.payload_length = parsed->payload_length;
        out.stream_size = HEADER_SIZE + std::size_t{parsed->payload_length};
        out.samples = parsed->sample_count;
        put_name("float32", out.element_type);
        *header = out;
        return {};
    });
}

kestova_status kestova_read_record(const uint8_t* file, size_t size, kestova_record* record,
                                   kestova_error* error) {
    return guarded(error, [&]() -> Outcome {
        if (file == nullptr && size != 0) return null_pointer("file");
        if (record == nullptr) return null_pointer("record");
        return read_record(bytes_of(file, size), record);
    });
}

}  // extern "C"
