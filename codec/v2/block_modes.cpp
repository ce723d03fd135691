#include "codec/v2/block_modes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "codec/v2/class_coder.h"

namespace kestova::v2 {

uint8_t coder_for(uint64_t samples) {
    return samples >= kModeBlocksMinimum ? kModeBlocksCoder : kClassBlocksCoder;
}

namespace {

constexpr int kClassContexts = 13;  // the class coder's: the previous class, capped at 12
constexpr int kSymbols = 65;        // the table coder's: 0, then + and - of each class
constexpr double kClassPerGuessLowest = 0.75;
constexpr double kClassPerGuessHighest = 1.05;

// Per symbol, looked up rather than computed (a branch on the data would be mispredicted).
struct SymbolRow {
    uint8_t raw_bits;      // bits of |r| below its leading one
    uint8_t next_context;  // the class coder's context for the residual after it
};

constexpr std::array<SymbolRow, 256> symbol_rows() {
    std::array<SymbolRow, 256> out{};
    for (int s = 0; s < kSymbols; ++s) {
        const int c = (s + 1) / 2;
        out[s] = {static_cast<uint8_t>(std::max(c - 1, 0)),
                  static_cast<uint8_t>(std::min(c, kClassContexts - 1))};
    }
    return out;
}
constexpr std::array<SymbolRow, 256> kSymbolRows = symbol_rows();

double bits_of(double count, double total) {
    return count > 0 ? count * std::log2(total / count) : 0.0;
}

}  // namespace

std::size_t estimate_class_bytes(const TablePlan& plan) {
    const std::span<const uint8_t> symbols = plan.symbols();  // each below kSymbols
    // Four quarters counted apart and in step, so that runs of one symbol do not make one chain
    // of increments to one counter.
    using Counts = std::array<std::array<uint32_t, kSymbols>, kClassContexts>;
    constexpr int kParts = 4;
    std::array<Counts, kParts> parts{};
    const std::size_t quarter = symbols.size() / kParts;
    // The context as a pointer into its part's counts, kept in a register: a byte stored to a
    // count could alias anything else the loop keeps in memory.
    const auto count = [](Counts& part, uint32_t*& row, uint64_t& raw_bits, uint8_t s) {
        ++row[s];
        raw_bits += kSymbolRows[s].raw_bits;
        row = part[kSymbolRows[s].next_context].data();
    };
    std::array<uint32_t*, kParts> rows{};
    for (int k = 0; k < kParts; ++k) {
        const int c = k == 0 || quarter == 0 ? 0 : (symbols[k * quarter - 1] + 1) / 2;
        rows[k] = parts[k][std::min(c, kClassContexts - 1)].data();
    }
    uint32_t *row0 = rows[0], *row1 = rows[1], *row2 = rows[2], *row3 = rows[3];
    uint64_t raw0 = 0, raw1 = 0, raw2 = 0, raw3 = 0;
    const uint8_t* const at = symbols.data();
    for (std::size_t j = 0; j < quarter; ++j) {
        count(parts[0], row0, raw0, at[j]);
        count(parts[1], row1, raw1, at[quarter + j]);
        count(parts[2], row2, raw2, at[2 * quarter + j]);
        count(parts[3], row3, raw3, at[3 * quarter + j]);
    }
    for (std::size_t i = kParts * quarter; i < symbols.size(); ++i) {
        count(parts[3], row3, raw3, at[i]);
    }
    Counts counts{};
    for (int k = 0; k < kParts; ++k) {
        for (int c = 0; c < kClassContexts; ++c) {
            for (int s = 0; s < kSymbols; ++s) counts[c][s] += parts[k][c][s];
        }
    }
    double bits = static_cast<double>(raw0 + raw1 + raw2 + raw3);
    for (const auto& row : counts) {
        uint64_t total = 0;
        for (const uint32_t n : row) total += n;
        bits += bits_of(row[0], double(total));
        for (int s = 1; s < kSymbols; s += 2) {
            const double both = double(row[s]) + double(row[s + 1]);
            bits +=
                bits_of(both, double(total)) + bits_of(row[s], both) + bits_of(row[s + 1], both);
        }
    }
    return static_cast<std::size_t>(bits / 8.0);
}

void ResidualEncoder::encode(std::span<const int64_t> residuals, std::vector<uint8_t>& out) {
    if (coder_ == kClassBlocksCoder) {
        encode_block(residuals, out);
        return;
    }
    if (settled_ > 0 && residuals.size() == settled_size_) {
        --settled_;
        out.push_back(kClassMode);
        encode_block(residuals, out);
        return;
    }
    const TablePlan plan(residuals);
    const double guess = static_cast<double>(estimate_class_bytes(plan));
    bool table = false;
    if (class_per_guess_ == 0.0) {
        // The stream's first block: coded both ways, to learn how the class coder's bytes
        // compare with the estimate on this signal (within a stream the ratio barely moves).
        const std::size_t start = out.size();
        out.push_back(kClassMode);
        encode_block(residuals, out);
        const std::size_t class_bytes = out.size() - start - 1;
        // Kept within what real signals show (0.8 to 1.01), so that a first block of nearly
        // nothing cannot skew the choices after it.
        class_per_guess_ = std::clamp(static_cast<double>(class_bytes) / std::max(guess, 1.0),
                                      kClassPerGuessLowest, kClassPerGuessHighest);
        table = plan.bytes() <= class_bytes + class_bytes / kTableMarginDivisor;
        if (table) out.resize(start);
    } else {
        const double class_bytes = guess * class_per_guess_;
        table =
            static_cast<double>(plan.bytes()) <= class_bytes + class_bytes / kTableMarginDivisor;
        if (!table) {
            out.push_back(kClassMode);
            encode_block(residuals, out);
        }
    }
    if (table) {
        out.push_back(kTableMode);
        plan.write(out);
    } else {
        settled_ = kSettledBlocks;
        settled_size_ = residuals.size();
    }
}

void encode_residuals(uint8_t coder, std::span<const int64_t> residuals,
                      std::vector<uint8_t>& out) {
    ResidualEncoder(coder).encode(residuals, out);
}

bool decode_residuals(uint8_t coder, std::span<const uint8_t> block, std::span<int64_t> residuals) {
    if (coder == kClassBlocksCoder) return decode_block(block, residuals);
    if (block.empty()) return false;
    const auto rest = block.subspan(1);
    switch (block[0]) {
        case kClassMode:
            return decode_block(rest, residuals);
        case kTableMode:
            return decode_table_block(rest, residuals);
        default:
            return false;
    }
}

}  // namespace kestova::v2
