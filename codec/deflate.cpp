#include "codec/deflate.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "codec/uninit_buffer.h"

namespace kestova {

namespace {

constexpr int kLevel = 6;
constexpr int kRawWindowBits = -15;  // negative: no zlib or gzip wrapper
constexpr int kMemLevel = 8;
// zlib counts buffer space in 32-bit words; larger buffers are fed in pieces of this size.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;
// Deflate codes at most 258 bytes per two bits, so a payload inflates to at most ~1032 times
// its size; a little slack covers block headers.
constexpr std::size_t kMaxInflateRatio = 1032;
constexpr std::size_t kInflateSlack = 4096;
// Inflate output grows by this many bytes at a time.
constexpr std::size_t kInflateStep = std::size_t{1} << 20;
// Size of the buffer that deflate output passes through.
constexpr uInt kDeflateBuffer = 1 << 18;

std::string zlib_message(const z_stream& stream, int code) {
    return stream.msg != nullptr ? std::string(stream.msg) : std::string(zError(code));
}

// Offers zlib up to kMaxChunk of what is left of a buffer.
uInt chunk(std::size_t left) {
    return static_cast<uInt>(std::min(left, kMaxChunk));
}

}  // namespace

KestovaResult<void> deflate_raw(std::span<const uint8_t> bytes, std::vector<uint8_t>& out) {
    z_stream stream{};
    int code =
        deflateInit2(&stream, kLevel, Z_DEFLATED, kRawWindowBits, kMemLevel, Z_DEFAULT_STRATEGY);
    if (code != Z_OK) return std::unexpected(KestovaError::io(zlib_message(stream, code)));
    // Reserving the bound costs nothing until written; the output passes through a small
    // buffer so that only the bytes produced are ever touched.
    out.reserve(out.size() + deflateBound(&stream, bytes.size()));
    const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(kDeflateBuffer);
    std::size_t in_pos = 0;
    do {
        if (stream.avail_in == 0 && in_pos < bytes.size()) {
            stream.next_in = const_cast<Bytef*>(bytes.data() + in_pos);
            stream.avail_in = chunk(bytes.size() - in_pos);
            in_pos += stream.avail_in;
        }
        stream.next_out = buffer.get();
        stream.avail_out = kDeflateBuffer;
        code = deflate(&stream, in_pos == bytes.size() ? Z_FINISH : Z_NO_FLUSH);
        out.insert(out.end(), buffer.get(), buffer.get() + (kDeflateBuffer - stream.avail_out));
    } while (code == Z_OK || code == Z_BUF_ERROR);
    const std::string message = zlib_message(stream, code);
    deflateEnd(&stream);
    if (code != Z_STREAM_END) return std::unexpected(KestovaError::io(message));
    return {};
}

KestovaResult<std::vector<uint8_t>> inflate_raw(std::span<const uint8_t> payload,
                                                std::size_t limit) {
    z_stream stream{};
    int code = inflateInit2(&stream, kRawWindowBits);
    if (code != Z_OK) {
        return std::unexpected(KestovaError::decompression_failed(zlib_message(stream, code)));
    }
    const std::size_t bound =
        payload.size() >
                (std::numeric_limits<std::size_t>::max() - kInflateSlack) / kMaxInflateRatio
            ? std::numeric_limits<std::size_t>::max()
            : payload.size() * kMaxInflateRatio + kInflateSlack;
    // Reserving costs nothing until written; the vector grows by steps into the reservation,
    // so only bytes that inflate actually produces are ever touched.
    std::size_t capacity = std::min(limit, bound);
    std::vector<uint8_t> out;
    try {
        out.reserve(capacity);
    } catch (const std::bad_alloc&) {
        inflateEnd(&stream);
        return std::unexpected(KestovaError::out_of_memory(capacity));
    }
    advise_huge_pages(out.data(), capacity);
    std::size_t in_pos = 0;
    code = Z_OK;
    while (code == Z_OK) {
        if (stream.avail_in == 0) {
            if (in_pos == payload.size()) break;  // payload exhausted: keep what came out
            stream.next_in = const_cast<Bytef*>(payload.data() + in_pos);
            stream.avail_in = chunk(payload.size() - in_pos);
            in_pos += stream.avail_in;
        }
        if (stream.avail_out == 0) {
            if (out.size() == limit) break;  // every byte the caller can use is out
            if (out.size() == capacity) {
                capacity = std::min(limit, capacity + capacity / 2 + kInflateSlack);
                try {
                    out.reserve(capacity);
                } catch (const std::bad_alloc&) {
                    inflateEnd(&stream);
                    return std::unexpected(KestovaError::out_of_memory(capacity));
                }
            }
            const std::size_t at = out.size();
            out.resize(std::min(capacity, at + kInflateStep));
            stream.next_out = out.data() + at;
            stream.avail_out = static_cast<uInt>(out.size() - at);
        }
        code = inflate(&stream, Z_NO_FLUSH);
    }
    const std::size_t produced = out.size() - stream.avail_out;
    inflateEnd(&stream);
    if (code == Z_DATA_ERROR) {
        return std::unexpected(KestovaError::decompression_failed("corrupt deflate stream"));
    }
    if (code != Z_OK && code != Z_STREAM_END && code != Z_BUF_ERROR) {
        return std::unexpected(KestovaError::decompression_failed(zError(code)));
    }
    out.resize(produced);
    return out;
}

}  // namespace kestova
