// A version-2 stream held to a size: the finest grid found whose whole stream (header, payload and
// checksum) takes at most a given number of bits per sample.
#pragma once

#include <utility>

#include "codec/error.h"
#include "codec/v2/encoder.h"
#include "codec/v2/quantizer.h"

namespace kestova::v2 {

// The bits per sample a target may ask for: from far below what a stream of a few thousand
// samples can reach to the width of the widest element type.
inline constexpr std::pair<double, double> kBitsPerSampleRange{0.01, 64.0};

// The stream of `samples` whose length in bits is at most `bits_per_sample` x samples.count, on
// the finest grid among those tried: the first from the samples' difference statistics (a
// uniform grid of step s codes a residual of rms d in about log2(d / s) + 2 bits), then a few
// more from the sizes reached, each bracketing the target closer (on a signal of 2^19 samples or
// more, first on a probe of 2^17 samples in 64 runs spread over it, so the whole signal takes one
// to three encodes); exact samples (integer types, or floats where the samples allow) when they
// fit. An empty array takes only the framing.
// Refuses a target outside kBitsPerSampleRange, what quantize_within refuses of the samples
// (NaN, infinities), and a target even the coarsest grid misses (naming the bits it reached).
KestovaResult<Encoded> encode_bits_per_sample(SampleView samples, double bits_per_sample);

}  // namespace kestova::v2
