#include "codec/v2/block_modes.h"

#include <algorithm>
#include <cstdint>

#include "codec/v2/class_coder.h"
#include "codec/v2/table_coder.h"

namespace kestova::v2 {

uint8_t coder_for(uint64_t samples) {
    return samples >= kModeBlocksMinimum ? kModeBlocksCoder : kClassBlocksCoder;
}

void ResidualEncoder::encode(std::span<const int64_t> residuals, std::vector<uint8_t>& out) {
    if (coder_ == kClassBlocksCoder) {
        encode_block(residuals, out);
        return;
    }
    const std::size_t start = out.size();
    if (settled_ > 0 && residuals.size() == settled_size_) {
        --settled_;
        out.push_back(settled_mode_);
        if (settled_mode_ == kTableMode) {
            encode_table_block(residuals, SIZE_MAX, out);
        } else {
            encode_block(residuals, out);
        }
        return;
    }
    out.push_back(kClassMode);
    encode_block(residuals, out);
    const std::size_t class_bytes = out.size() - start - 1;
    const std::size_t limit = class_bytes + class_bytes / kTableMarginDivisor;
    std::vector<uint8_t> table;
    settled_size_ = residuals.size();
    settled_ = kSettledBlocks;
    settled_mode_ = kClassMode;
    if (encode_table_block(residuals, limit, table) && table.size() <= limit) {
        out.resize(start);
        out.push_back(kTableMode);
        out.insert(out.end(), table.begin(), table.end());
        settled_mode_ = kTableMode;
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
