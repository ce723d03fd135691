// Raw deflate (RFC 1951, no zlib or gzip wrapper) through zlib.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.h"

namespace kestova {

// Appends one complete raw deflate stream of `bytes` at level 6 to `out`; a zlib failure is an
// Io error.
KestovaResult<void> deflate_raw(std::span<const uint8_t> bytes, std::vector<uint8_t>& out);

// Inflates the raw deflate stream in `payload` until the stream ends, the payload runs out or
// `limit` bytes are out, whichever comes first; memory stays within what the payload can
// inflate to. Corrupt data is DecompressionFailed "corrupt deflate stream".
KestovaResult<std::vector<uint8_t>> inflate_raw(std::span<const uint8_t> payload,
                                                std::size_t limit);

}  // namespace kestova
