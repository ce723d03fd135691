// Version-2 decoding: checks the framing and checksum first (format.h), then decodes the blocks
// into samples of the recorded element type. Memory: the samples and one block of residuals;
// nothing is read outside the stream.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.h"
#include "codec/v2/format.h"

namespace kestova::v2 {

// Decodes the stream `info` describes into `out`, which holds exactly sample_count elements of
// its element type (native byte order).
KestovaResult<void> decode_into(const StreamInfo& info, std::span<uint8_t> out);

struct DecodedSignal {
    StreamInfo info;
    std::vector<uint8_t> samples;  // sample_count elements of info.element, native byte order
};

// read_stream_info, then decode_into a new buffer.
KestovaResult<DecodedSignal> decode(std::span<const uint8_t> bytes);

}  // namespace kestova::v2
