// What a chunk is encoded with, the same for every surface (the zarr codecs, compress_within, the
// HDF5 filter): Kestova's four options, the encoder, and an optional error bound, under which
// the tuned encoder may also choose the method.
#pragma once

#include <cstdint>
#include <expected>
#include <string>

#include "codec/encoder.h"
#include "codec/options.h"

namespace kestova {

// The numbers are recorded in HDF5 filter values: never renumber.
enum class BoundKind : uint8_t { None = 0, Relative = 1, Absolute = 2 };

struct ChunkSettings {
    CompressionOptions options;
    bool choose_method = false;  // options.method is unused when set (tuned encoder, bound only)
    Encoder encoder = Encoder::Reference;
    BoundKind bound = BoundKind::None;
    double max_error = 0.0;  // relative to the chunk's range, or absolute; with a bound only
    // The stream version chunks are written in; version 2 takes one target of a bound, a PSNR
    // and bits per sample.
    uint8_t format = 1;
    double psnr = 0.0;             // dB; 0: none (version 2, without a bound)
    double bits_per_sample = 0.0;  // 0: none (version 2, without a bound or PSNR)
};

// The refusal of settings no surface accepts: an open method without an error bound or without
// the tuned encoder, a bound that is not a finite number >= 0, and a bound with a scale or
// cutoff other than the defaults (the bound picks them); a format other than 1 or 2; with
// format 2, version-1 options other than the defaults, two targets, or a PSNR or bits per sample
// out of range.
std::expected<void, std::string> check_chunk_settings(const ChunkSettings& settings);

}  // namespace kestova
