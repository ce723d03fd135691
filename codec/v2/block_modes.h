// How a version-2 block of residuals becomes bytes under each coder byte.
//
// Coder 1: the block is the class coder's bytes (class_coder.h).
// Coder 2: a mode byte, then that mode's bytes: kClassMode the class coder, kTableMode the table
// coder (table_coder.h), whose decoder is about twice as fast but whose static tables cost bytes
// on short or changing signals.
//
// The encoder writes coder 2 for streams of at least kModeBlocksMinimum samples, and there takes
// the table coder for a block whose table-coded bytes are at most 1/kTableMarginDivisor more than
// its class-coded bytes. Shorter streams keep coder 1, with the bytes they always had. Coding
// every block both ways would double the coding time, so only a stream's first block is; later
// blocks compare the table coder's bytes with an estimate of the class coder's from the block's
// statistics, scaled by the ratio the first block showed (on one signal it barely moves), and
// after a class-coded block the next kSettledBlocks blocks of its length take the class coder
// without counting (choices of the encoder, not rules of the format).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/v2/table_coder.h"

namespace kestova::v2 {

inline constexpr uint8_t kClassBlocksCoder = 1;
inline constexpr uint8_t kModeBlocksCoder = 2;
inline constexpr uint8_t kClassMode = 0;
inline constexpr uint8_t kTableMode = 1;
inline constexpr uint64_t kModeBlocksMinimum = uint64_t{1} << 18;
inline constexpr std::size_t kTableMarginDivisor = 32;
inline constexpr int kSettledBlocks = 3;

// The coder byte the encoder writes for a stream of `samples` samples.
uint8_t coder_for(uint64_t samples);

// The class coder's bytes for the block `plan` counted, from its symbols' statistics alone.
std::size_t estimate_class_bytes(const TablePlan& plan);

// Codes the blocks of one stream in turn under one coder byte.
class ResidualEncoder {
  public:
    explicit ResidualEncoder(uint8_t coder) : coder_(coder) {}
    // Appends the block of `residuals` (each |r| < 2^32) as the coder lays it out.
    void encode(std::span<const int64_t> residuals, std::vector<uint8_t>& out);

  private:
    uint8_t coder_;
    double class_per_guess_ = 0.0;  // class coder's bytes / estimate_class_bytes; 0 till known
    int settled_ = 0;  // blocks of settled_size_ residuals still to take the class coder untried
    std::size_t settled_size_ = 0;
};

// One block as ResidualEncoder(coder) codes a stream's first.
void encode_residuals(uint8_t coder, std::span<const int64_t> residuals, std::vector<uint8_t>& out);

// Decodes residuals.size() residuals from `block` as coder `coder` lays them out; false when the
// block is damaged (as the coders' decode functions). Reads nothing outside `block`.
bool decode_residuals(uint8_t coder, std::span<const uint8_t> block, std::span<int64_t> residuals);

}  // namespace kestova::v2
