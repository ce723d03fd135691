#include "codec/compressor.h"

#include "codec/deflate.h"
#include "codec/encode_pipeline.h"
#include "codec/level_quantizer.h"

namespace kestova {

KestovaResult<std::vector<uint8_t>> compress(std::span<const float> samples,
                                             CompressionOptions options) {
    // A scale outside 6..12 is refused by the pipeline before the quantizer is used.
    return encode_with(samples, options, ReferenceQuantizer(options.scale, options.cutoff),
                       deflate_raw);
}

}  // namespace kestova
