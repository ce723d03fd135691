// Raw deflate (RFC 1951, no zlib or gzip wrapper): zlib for the reference encoder's level-6
// streams, libdeflate for the fast encoder and for inflating every payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.h"
#include "codec/uninit_buffer.h"

namespace kestova {

// Appends one complete raw deflate stream of `bytes` at zlib level 6 to `out`; a zlib failure
// is an Io error. The reference encoder's payloads are exactly these bytes.
KestovaResult<void> deflate_raw(std::span<const uint8_t> bytes, std::vector<uint8_t>& out);

// The libdeflate level of deflate_raw_fast, chosen by bench_deflate on coefficient images.
inline constexpr int kFastDeflateLevel = 6;

// Appends one complete raw deflate stream of `bytes` made by libdeflate at kFastDeflateLevel
// to `out`: any raw-deflate decoder inflates it to `bytes`. A library failure is an Io error.
KestovaResult<void> deflate_raw_fast(std::span<const uint8_t> bytes, std::vector<uint8_t>& out);

// Inflated bytes: the first `size` bytes of `memory`.
struct InflatedBytes {
    UninitBuffer<uint8_t> memory;
    std::size_t size = 0;

    std::span<const uint8_t> bytes() const { return memory.span().first(size); }
};

// Inflates the raw deflate stream in `payload` until the stream ends, the payload runs out or
// `limit` bytes are out, whichever comes first; pages are touched only as bytes come out, and
// no more is reserved than the payload can inflate to. Corrupt data is DecompressionFailed
// "corrupt deflate stream". A payload that is exactly one stream of exactly `limit` bytes, as
// every container's is, is inflated by libdeflate; any other (ending early, corrupt, longer,
// or followed by more bytes) goes through zlib, so such payloads give what inflate_raw_zlib
// gives. (libdeflate reads the unused length symbols 286 and 287 as length 258 where zlib
// refuses them; only a stream crafted to contain one and still end exactly at `limit` bytes
// and at the payload's end decodes here where inflate_raw_zlib fails.)
KestovaResult<InflatedBytes> inflate_raw(std::span<const uint8_t> payload, std::size_t limit);

// The same through zlib alone.
KestovaResult<InflatedBytes> inflate_raw_zlib(std::span<const uint8_t> payload, std::size_t limit);

}  // namespace kestova
