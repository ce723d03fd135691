#include "codec/v2/format.h"

#include <libdeflate.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

#include "codec/v2/text.h"

namespace kestova::v2 {

namespace {

constexpr std::array<uint8_t, 4> kMagic{'K', 'S', 'T', 'V'};

template <typename T>
void put(std::span<uint8_t> out, std::size_t offset, T value) {
    auto raw = std::bit_cast<std::array<uint8_t, sizeof(T)>>(value);
    if constexpr (std::endian::native == std::endian::big) std::ranges::reverse(raw);
    std::ranges::copy(raw, out.begin() + static_cast<std::ptrdiff_t>(offset));
}

template <typename T>
T get(std::span<const uint8_t> in, std::size_t offset) {
    std::array<uint8_t, sizeof(T)> raw;
    std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(offset), sizeof(T), raw.begin());
    if constexpr (std::endian::native == std::endian::big) std::ranges::reverse(raw);
    return std::bit_cast<T>(raw);
}

uint32_t crc32_of(std::span<const uint8_t> bytes) {
    return libdeflate_crc32(0, bytes.data(), bytes.size());
}

KestovaError damaged(std::string text) {
    return KestovaError::decompression_failed(std::move(text));
}

template <typename Row, std::size_t N>
const Row* row_of(const std::array<Row, N>& table, uint8_t byte) {
    const auto found = std::ranges::find(table, byte, &Row::byte);
    return found == table.end() ? nullptr : &*found;
}

}  // namespace

int StreamInfo::order() const {
    return row_of(kMethods, method)->order;
}

bool StreamInfo::linear() const {
    return row_of(kMethods, method)->linear;
}

uint64_t StreamInfo::block_count() const {
    const uint64_t block = uint64_t{1} << block_log2;
    return sample_count / block + (sample_count % block != 0 ? 1 : 0);
}

std::array<uint8_t, kHeaderSize> header_bytes(const StreamInfo& info) {
    std::array<uint8_t, kHeaderSize> header{};
    std::ranges::copy(kMagic, header.begin());
    header[4] = kVersion;
    header[5] = info.method;
    header[6] = info.coder;
    header[7] = info.element.v2_byte;
    put<uint64_t>(header, 8, info.stream_length);
    put<uint64_t>(header, 16, info.sample_count);
    put<double>(header, 24, info.grid.origin);
    put<double>(header, 32, info.grid.step);
    header[40] = info.block_log2;
    header[41] = 0;
    put<uint16_t>(header, 42, 0);
    return header;
}

void append_checksum(std::vector<uint8_t>& stream) {
    std::array<uint8_t, kChecksumSize> crc{};
    put<uint32_t>(crc, 0, crc32_of(stream));
    stream.insert(stream.end(), crc.begin(), crc.end());
}

KestovaResult<std::size_t> stated_stream_length(std::span<const uint8_t> bytes) {
    if (bytes.size() < kSmallestStream) {
        return std::unexpected(
            damaged(message("A version-2 stream takes at least {} bytes, but it was {}",
                            kSmallestStream, bytes.size())));
    }
    std::array<uint8_t, 4> magic;
    std::copy_n(bytes.begin(), 4, magic.begin());
    if (magic != kMagic) return std::unexpected(KestovaError::invalid_magic(magic));
    if (bytes[4] != kVersion) {
        return std::unexpected(KestovaError::invalid_version({bytes[4], bytes[5]}));
    }
    const auto length = get<uint64_t>(bytes, 8);
    if (length < kSmallestStream || length > bytes.size()) {
        return std::unexpected(damaged(
            message("The stream states {} bytes, but {} are present", length, bytes.size())));
    }
    return static_cast<std::size_t>(length);
}

KestovaResult<StreamInfo> read_stream_info(std::span<const uint8_t> bytes) {
    // Framing and checksum first.
    const auto length = stated_stream_length(bytes);
    if (!length) return std::unexpected(length.error());
    if (*length != bytes.size()) {
        return std::unexpected(
            damaged(message("The stream states {} bytes, but {} are present: bytes were added",
                            *length, bytes.size())));
    }
    const auto stream = bytes;
    const auto stored = get<uint32_t>(stream, stream.size() - kChecksumSize);
    if (crc32_of(stream.first(stream.size() - kChecksumSize)) != stored) {
        return std::unexpected(damaged("The stream's checksum does not match: it is damaged"));
    }

    StreamInfo info;
    info.stream_length = stream.size();
    info.method = stream[5];
    info.coder = stream[6];
    if (row_of(kMethods, info.method) == nullptr) {
        return std::unexpected(damaged(message("Unknown version-2 method {}", info.method)));
    }
    if (row_of(kCoders, info.coder) == nullptr) {
        return std::unexpected(KestovaError::unknown_coder(info.coder));
    }
    const auto element = element_row(stream[7]);
    if (!element) {
        return std::unexpected(damaged(message("Unknown element type {}", stream[7])));
    }
    info.element = *element;
    info.sample_count = get<uint64_t>(stream, 16);
    info.grid = {get<double>(stream, 24), get<double>(stream, 32)};
    if (!std::isfinite(info.grid.origin) || !std::isfinite(info.grid.step) ||
        !(info.grid.step > 0.0)) {
        return std::unexpected(damaged(message("The grid (origin {}, step {}) is not valid",
                                               info.grid.origin, info.grid.step)));
    }
    info.block_log2 = stream[40];
    if (info.block_log2 < kMinBlockLog2 || info.block_log2 > kMaxBlockLog2) {
        return std::unexpected(damaged(message("Block size 2^{} is outside 2^{} to 2^{}",
                                               info.block_log2, kMinBlockLog2, kMaxBlockLog2)));
    }
    const std::size_t extension = get<uint16_t>(stream, 42);
    if (extension > stream.size() - kSmallestStream) {
        return std::unexpected(
            damaged(message("The extension area of {} bytes does not fit the stream", extension)));
    }
    info.payload =
        stream.subspan(kHeaderSize + extension, stream.size() - kSmallestStream - extension);
    const uint64_t least_payload = info.sample_count / kMaxSamplesPerPayloadByte +
                                   (info.sample_count % kMaxSamplesPerPayloadByte != 0 ? 1 : 0);
    if (least_payload > info.payload.size()) {
        return std::unexpected(
            damaged(message("{} samples cannot be coded in a payload of {} bytes",
                            info.sample_count, info.payload.size())));
    }
    return info;
}

}  // namespace kestova::v2
