// The version-2 table coder (block mode 1 of coder byte 2): a block of residuals coded with
// static frequency tables that the block carries, so that a decoder finds each symbol by one
// table lookup instead of searching an adaptive model, in four independent chains.
//
// A residual r (|r| < 2^32) is the symbol s = 0 when r = 0, else s = 2c - 1 for r > 0 and 2c for
// r < 0, c = bit length of |r| (1 to 32), then, when c > 1, the c - 1 bits of |r| below its
// leading one, raw. The block is cut into four segments, each coded by its own rANS state (32
// bits, 16-bit words), in turn one residual of each; a symbol's context is taken within its
// segment: min(sum of the classes of the four residuals before it, 25), doubled, plus 1 when the
// last nonzero residual before it was negative (kContexts contexts; residuals before the segment
// count as 0). The raw bits follow one another in the order the residuals are decoded, in a bit
// string that begins with the tables.
//
// Invariants: every context's frequencies add up to 2^10 and none exceeds 2^10 - 2, so every
// symbol costs at least log2(1024 / 1022) > 2e-3 bits: a block of m residuals takes at least
// m / 2^14 bytes, which the decoder's memory bound relies on (as class_coder.h). A state lies in
// [2^16, 2^32) between symbols; the encoder starts every state at 2^16, so a decoder that ends
// with any other state, or with words or bits left over or missing, holds a damaged block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace kestova::v2 {

// A block's symbols, contexts, tables and raw bits, counted in one pass; coding them is the
// costly part, left to write(). Holds a view of the residuals, which must outlive it.
class TablePlan {
  public:
    explicit TablePlan(std::span<const int64_t> residuals);
    ~TablePlan();
    // The block's bytes within a few (the symbols' ideal code length, the rest exact).
    std::size_t bytes() const { return estimate_; }
    // Each residual's symbol (below 65), in the block's order.
    std::span<const uint8_t> symbols() const { return symbols_; }
    // Appends the table-coded block to `out`.
    void write(std::vector<uint8_t>& out) const;

  private:
    struct Tables;
    std::span<const int64_t> residuals_;
    std::vector<uint8_t> symbols_;
    std::vector<uint8_t> contexts_;
    std::vector<uint8_t> description_;  // the tables, description_bits_ of it
    uint64_t description_bits_ = 0;
    uint64_t raw_bits_ = 0;  // how many write() puts after the tables
    std::size_t estimate_ = 0;
    std::unique_ptr<Tables> tables_;
};

// Appends the table-coded block of `residuals` (each |r| < 2^32) to `out` and returns true;
// or, when the tables and the symbols' ideal code length already come to more than
// `byte_limit` bytes, writes nothing and returns false (before the costly part of coding).
bool encode_table_block(std::span<const int64_t> residuals, std::size_t byte_limit,
                        std::vector<uint8_t>& out);

// Decodes residuals.size() residuals from the table-coded block `block`; false when the block is
// not one the encoder writes for that many residuals. Reads nothing outside `block`.
bool decode_table_block(std::span<const uint8_t> block, std::span<int64_t> residuals);

}  // namespace kestova::v2
