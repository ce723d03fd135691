// The codec-level options of one compression.
#pragma once

#include <cstdint>

namespace kestova {

enum class CutoffLevel : uint8_t { Low = 0, Medium = 1, High = 2 };
enum class EntropyCoder : uint8_t { Deflate = 0, Arans = 1, Auto = 2 };
enum class CompressionMethod : uint8_t { Cdf53 = 0, Cdf97 = 1, Db4 = 2, Sym4 = 3 };

// Four one-byte fields; `scale` (6..12) is validated by whoever builds the record.
struct CompressionOptions {
    CutoffLevel cutoff = CutoffLevel::Low;
    EntropyCoder coder = EntropyCoder::Auto;
    CompressionMethod method = CompressionMethod::Cdf97;
    uint8_t scale = 11;
};

}  // namespace kestova
