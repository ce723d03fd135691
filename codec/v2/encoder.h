// Version-2 encoding: samples of any recorded element type to one stream whose decoded samples
// are within a maximum error (or exact), on every processor: the pipeline is integer arithmetic
// but for one float64 multiply-add per sample, the same in encoder and decoder.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/error.h"
#include "codec/v2/grid.h"
#include "codec/v2/quantizer.h"

namespace kestova::v2 {

struct Encoded {
    std::vector<uint8_t> stream;
    double max_error = 0.0;  // the largest |decoded - sample|, in the samples' units
    Grid grid;
    uint8_t method = 1;
};

// Quantises within `target`, takes the differences that cost fewer bits, codes them in blocks
// and frames them with the header and checksum. Errors: those of quantize_within, OutOfMemory.
KestovaResult<Encoded> encode(SampleView samples, MaxError target);

// The same held to a PSNR in dB (quantize_to_psnr).
KestovaResult<Encoded> encode_psnr(SampleView samples, double psnr);

}  // namespace kestova::v2
