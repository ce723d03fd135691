#include "codec/deflate.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <string>

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
// Size of the buffer that deflate output passes through.
constexpr uInt kDeflateBuffer = 1 << 18;

std::string zlib_message(const z_stream& stream, int code) {
    return stream.msg != nullptr ? std::string(stream.msg) : std::string(zError(code));
}

// Offers zlib up to kMaxChunk of what is left of a buffer.
uInt chunk(std::size_t left) {
    return static_cast<uInt>(std::min(left, kMaxChunk));
}

// The most bytes that `payload` can inflate to, or `limit` if that is less.
std::size_t inflate_capacity(std::size_t payload_bytes, std::size_t limit) {
    const std::size_t bound =
        payload_bytes > (std::numeric_limits<std::size_t>::max() - kInflateSlack) / kMaxInflateRatio
            ? std::numeric_limits<std::size_t>::max()
            : payload_bytes * kMaxInflateRatio + kInflateSlack;
    return std::min(limit, bound);
}

// Uninitialised room for `capacity` inflated bytes; only pages written are ever touched.
KestovaResult<InflatedBytes> inflate_room(std::size_t capacity) {
    try {
        return InflatedBytes{.memory = UninitBuffer<uint8_t>(capacity), .size = 0};
    } catch (const std::bad_alloc&) {
        return std::unexpected(KestovaError::out_of_memory(capacity));
    }
}

// zlib's inflation of `payload` into `out.memory`, stopping where inflate_raw says.
KestovaResult<void> inflate_with_zlib(std::span<const uint8_t> payload, InflatedBytes& out) {
    z_stream stream{};
    int code = inflateInit2(&stream, kRawWindowBits);
    if (code != Z_OK) {
        return std::unexpected(KestovaError::decompression_failed(zlib_message(stream, code)));
    }
    const std::span<uint8_t> room = out.memory.span();
    std::size_t in_pos = 0;
    std::size_t out_pos = 0;
    while (code == Z_OK) {
        if (stream.avail_in == 0) {
            if (in_pos == payload.size()) break;  // payload exhausted: keep what came out
            stream.next_in = const_cast<Bytef*>(payload.data() + in_pos);
            stream.avail_in = chunk(payload.size() - in_pos);
            in_pos += stream.avail_in;
        }
        if (stream.avail_out == 0) {
            if (out_pos == room.size()) break;  // every byte the caller can use is out
            stream.next_out = room.data() + out_pos;
            stream.avail_out = chunk(room.size() - out_pos);
            out_pos += stream.avail_out;
        }
        code = inflate(&stream, Z_NO_FLUSH);
    }
    out.size = out_pos - stream.avail_out;
    inflateEnd(&stream);
    if (code == Z_DATA_ERROR) {
        return std::unexpected(KestovaError::decompression_failed("corrupt deflate stream"));
    }
    if (code != Z_OK && code != Z_STREAM_END && code != Z_BUF_ERROR) {
        return std::unexpected(KestovaError::decompression_failed(zError(code)));
    }
    return {};
}

// libdeflate's inflation of `payload` into `out.memory`; true when the stream came out whole,
// filled the caller's `limit` exactly and used the whole payload, as every container's stream
// does. Anything else goes to zlib, which alone decides what a short, long or corrupt stream
// gives: libdeflate is more lenient (it decodes the unused length symbols 286 and 287, which
// zlib refuses), and asking for the exact size and input leaves it only crafted streams to read
// differently (see inflate_raw).
bool inflate_with_libdeflate(std::span<const uint8_t> payload, std::size_t limit,
                             InflatedBytes& out) {
    const std::span<uint8_t> room = out.memory.span();
    if (room.size() != limit) return false;  // the payload cannot inflate to `limit`
    const std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)>
        decompressor(libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
    if (!decompressor) return false;
    std::size_t consumed = 0;
    std::size_t produced = 0;
    const libdeflate_result result =
        libdeflate_deflate_decompress_ex(decompressor.get(), payload.data(), payload.size(),
                                         room.data(), room.size(), &consumed, &produced);
    if (result != LIBDEFLATE_SUCCESS || produced != limit || consumed != payload.size()) {
        return false;
    }
    out.size = produced;
    return true;
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

KestovaResult<void> deflate_raw_fast(std::span<const uint8_t> bytes, std::vector<uint8_t>& out) {
    const std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
        libdeflate_alloc_compressor(kFastDeflateLevel), &libdeflate_free_compressor);
    if (!compressor) return std::unexpected(KestovaError::io("libdeflate: out of memory"));
    const std::size_t bound = libdeflate_deflate_compress_bound(compressor.get(), bytes.size());
    const std::size_t at = out.size();
    out.resize(at + bound);
    const std::size_t produced = libdeflate_deflate_compress(compressor.get(), bytes.data(),
                                                             bytes.size(), out.data() + at, bound);
    out.resize(at + produced);
    // Within the bound libdeflate always succeeds; zero bytes would mean it did not.
    if (produced == 0) return std::unexpected(KestovaError::io("libdeflate: compression failed"));
    return {};
}

KestovaResult<InflatedBytes> inflate_raw(std::span<const uint8_t> payload, std::size_t limit) {
    auto out = inflate_room(inflate_capacity(payload.size(), limit));
    if (!out) return out;
    if (inflate_with_libdeflate(payload, limit, *out)) return out;
    const auto inflated = inflate_with_zlib(payload, *out);
    if (!inflated) return std::unexpected(inflated.error());
    return out;
}

KestovaResult<InflatedBytes> inflate_raw_zlib(std::span<const uint8_t> payload, std::size_t limit) {
    auto out = inflate_room(inflate_capacity(payload.size(), limit));
    if (!out) return out;
    const auto inflated = inflate_with_zlib(payload, *out);
    if (!inflated) return std::unexpected(inflated.error());
    return out;
}

}  // namespace kestova
