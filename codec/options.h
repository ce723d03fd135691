// The codec-level options of one compression.
#pragma once

#include <array>
#include <cstdint>

namespace kestova {

enum class CutoffLevel : uint8_t { Low = 0, Medium = 1, High = 2 };
// Deflate and Arans are also the header's coder byte; Auto only chooses between them.
enum class EntropyCoder : uint8_t { Deflate = 0, Arans = 1, Auto = 2 };
enum class CompressionMethod : uint8_t { Cdf53 = 0, Cdf97 = 1, Db4 = 2, Sym4 = 3 };

inline constexpr std::array kCutoffLevels{CutoffLevel::Low, CutoffLevel::Medium, CutoffLevel::High};
inline constexpr std::array kEntropyCoders{EntropyCoder::Deflate, EntropyCoder::Arans,
                                           EntropyCoder::Auto};
// The coders a container records.
inline constexpr std::array kRecordedCoders{EntropyCoder::Deflate, EntropyCoder::Arans};

// The header's coder byte for a coder the container records (Deflate or Arans).
constexpr uint8_t coder_byte(EntropyCoder coder) {
    return static_cast<uint8_t>(coder);
}

// True for the coder bytes a container may carry.
constexpr bool is_recorded_coder(uint8_t byte) {
    for (const EntropyCoder coder : kRecordedCoders) {
        if (byte == coder_byte(coder)) return true;
    }
    return false;
}

// The power-of-two exponents a coefficient scale may have.
inline constexpr uint8_t kMinScale = 6;
inline constexpr uint8_t kMaxScale = 12;

constexpr bool is_supported_scale(uint8_t scale) {
    return scale >= kMinScale && scale <= kMaxScale;
}

// Four one-byte fields; `scale` is validated (is_supported_scale) by whoever builds the record.
struct CompressionOptions {
    CutoffLevel cutoff = CutoffLevel::Low;
    EntropyCoder coder = EntropyCoder::Auto;
    CompressionMethod method = CompressionMethod::Cdf97;
    uint8_t scale = 11;
};

}  // namespace kestova
