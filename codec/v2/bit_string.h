// Bit strings of the table coder (table_coder.h): bits least significant first, packed into
// bytes from the first byte on; a last byte's unused high bits are zero.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace kestova::v2 {

class BitWriter {
  public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
    void write(uint64_t value, int bits) {  // bits <= 32, value < 2^bits
        buffer_ |= value << filled_;
        filled_ += bits;
        if (filled_ >= 32) {
            for (int i = 0; i < 4; ++i) out_.push_back(static_cast<uint8_t>(buffer_ >> (8 * i)));
            buffer_ >>= 32;
            filled_ -= 32;
        }
    }
    // v >= 1 as bit_width(v) - 1 zeros, a one, then the bits of v below its leading one.
    void write_gamma(uint32_t v) {
        const int width = std::bit_width(v);
        write(uint64_t{1} << (width - 1), width);
        write(v & ((1u << (width - 1)) - 1), width - 1);
    }
    // The first `bits` bits of what another BitWriter wrote into `bytes`.
    void append(std::span<const uint8_t> bytes, uint64_t bits) {
        std::size_t at = 0;
        for (; bits >= 32; bits -= 32, at += 4) {
            write(uint64_t{bytes[at]} | uint64_t{bytes[at + 1]} << 8 |
                      uint64_t{bytes[at + 2]} << 16 | uint64_t{bytes[at + 3]} << 24,
                  32);
        }
        for (; bits > 0; bits -= std::min<uint64_t>(bits, 8), ++at) {
            const int part = static_cast<int>(std::min<uint64_t>(bits, 8));
            write(bytes[at] & ((1u << part) - 1), part);
        }
    }
    void finish() {
        for (; filled_ > 0; filled_ -= std::min(filled_, 8)) {
            out_.push_back(static_cast<uint8_t>(buffer_));
            buffer_ >>= 8;
        }
    }

  private:
    std::vector<uint8_t>& out_;
    uint64_t buffer_ = 0;
    int filled_ = 0;
};

// Reads what BitWriter writes, 64 bits at a time from a copy followed by kPadding zero bytes:
// a read that begins within the bits, or up to 8 x (kPadding - 8) bits past them, stays inside
// the copy. Reading further is the caller's to prevent (check overrun() often enough).
class BitReader {
  public:
    static constexpr std::size_t kPadding = 24;

    explicit BitReader(std::span<const uint8_t> bytes) : size_(bytes.size()) {
        padded_.assign(bytes.size() + kPadding, 0);
        std::ranges::copy(bytes, padded_.begin());
    }
    // The next 57 bits or more, from the lowest (zeros once past the end).
    uint64_t peek() const { return overrun() ? 0 : peek_at(padded_.data(), position_); }
    static uint64_t peek_at(const uint8_t* bytes, std::size_t position) {
        uint64_t word = 0;
        std::memcpy(&word, bytes + (position >> 3), 8);
        return word >> (position & 7);
    }
    uint32_t read(int bits) {  // bits <= 32
        const auto value = static_cast<uint32_t>(peek() & ((uint64_t{1} << bits) - 1));
        position_ += static_cast<std::size_t>(bits);
        return value;
    }
    // A value BitWriter::write_gamma wrote, of bit width at most max_width (< 32); false for a
    // longer one.
    bool read_gamma(int max_width, uint32_t& v) {
        const int zeros = std::countr_zero(peek());
        if (zeros >= max_width) return false;
        position_ += static_cast<std::size_t>(zeros) + 1;
        v = (1u << zeros) | read(zeros);
        return true;
    }
    bool overrun() const { return position_ > 8 * size_; }
    // Every bit read, and the last byte's bits above them zero.
    bool whole() {
        if (overrun() || 8 * size_ - position_ >= 8) return false;
        return read(static_cast<int>(8 * size_ - position_)) == 0;
    }
    const uint8_t* bytes() const { return padded_.data(); }
    std::size_t size() const { return size_; }
    std::size_t position() const { return position_; }
    void seek(std::size_t position) { position_ = position; }

  private:
    std::vector<uint8_t> padded_;
    std::size_t size_;
    std::size_t position_ = 0;
};

}  // namespace kestova::v2
