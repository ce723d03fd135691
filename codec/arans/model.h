// Shared pieces of the range-ANS plane coder: probability model, constants and byte helpers.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kestova::arans::detail {

inline constexpr uint32_t kProbOne = 4096;       // 12-bit probabilities
inline constexpr uint32_t kProbStart = 2048;     // every model entry starts here
inline constexpr uint32_t kStateLow = 1u << 16;  // coder state lies in [kStateLow, 2^32)
inline constexpr uint32_t kDecisionsPerByte = 8;
// Every probability the model reaches from kProbStart lies in this range.
inline constexpr uint32_t kProbReachedMin = 15;
inline constexpr uint32_t kProbReachedMax = 4081;

// A fresh model table for context width s: 256 << s entries of kProbStart. May throw bad_alloc.
inline std::vector<uint16_t> fresh_model(unsigned s) {
    return std::vector<uint16_t>(std::size_t{256} << s, kProbStart);
}

// Probability of a 0-bit after coding bit b with probability p. Starting from kProbStart the
// result stays within kProbReachedMin..kProbReachedMax, so the limits 1..4095 of the model never
// bind and are not applied.
// Written with a mask instead of a select so that it compiles branch-free.
constexpr uint32_t updated(uint32_t p, uint32_t b) {
    const uint32_t up = (kProbOne - p) >> 4;
    const uint32_t down = p >> 4;
    return p + up - ((up + down) & (0u - b));
}

// The same update as a table indexed by p | b << 12 (the encoder's decision word): one load
// replaces the arithmetic, which shortens the model pass by about a third. Each file that uses it
// has its own copy: position-independent code then addresses it directly instead of through the
// global offset table, a load that the coding loops otherwise repeat for every decision.
static constexpr std::array<uint16_t, 2 * kProbOne> kUpdated = [] {
    std::array<uint16_t, 2 * kProbOne> table{};
    for (uint32_t p = 1; p < kProbOne; ++p) {
        table[p] = static_cast<uint16_t>(updated(p, 0));
        table[kProbOne + p] = static_cast<uint16_t>(updated(p, 1));
    }
    return table;
}();

// The same update indexed by 2p + b, for the decoder: it forms that index from the bit it has
// just decided with one address computation instead of a shift and an or.
static constexpr std::array<uint16_t, 2 * kProbOne> kUpdatedByBit = [] {
    std::array<uint16_t, 2 * kProbOne> table{};
    for (uint32_t p = 1; p < kProbOne; ++p) {
        table[2 * p] = static_cast<uint16_t>(updated(p, 0));
        table[2 * p + 1] = static_cast<uint16_t>(updated(p, 1));
    }
    return table;
}();

// Reads the 16-bit little-endian unit at `p`.
inline uint32_t load_u16le(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8;
}

// Reads the 32-bit little-endian number at `p`.
inline uint32_t load_u32le(const uint8_t* p) {
    return load_u16le(p) | load_u16le(p + 2) << 16;
}

}  // namespace kestova::arans::detail

namespace kestova::arans::detail {

// Appends v as unsigned LEB128 in its shortest form.
inline void put_leb128(std::vector<uint8_t>& out, uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<uint8_t>(v | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<uint8_t>(v));
}

}  // namespace kestova::arans::detail
