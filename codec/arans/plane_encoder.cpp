// Two-pass range-ANS encoder. The forward pass adapts the model and records one 16-bit word per
// decision (the probability p in bits 0..11, the bit in bit 12); the backward pass codes the words
// last first. The 16-bit units it emits are written into the already consumed tail of the same
// word array, so they end up contiguous and in the order the decoder reads them.
#include <array>
#include <memory>

#include "codec/arans/arans.h"
#include "codec/arans/model.h"
#include "codec/arans/plane_coder.h"

namespace kestova::arans {

namespace detail {
namespace {

__extension__ typedef unsigned __int128 u128;

// ceil(2^64 / d) for d = 2..4095: floor(x * r / 2^64) equals x / d for every x < 2^32 because
// x * d < 2^64. Frequencies are always 15..4081, so entries 0 and 1 are never used.
constexpr std::array<uint64_t, PROB_ONE> make_reciprocals() {
    std::array<uint64_t, PROB_ONE> r{};
    for (uint64_t d = 2; d < PROB_ONE; ++d) r[d] = UINT64_MAX / d + 1;
    return r;
}
constexpr std::array<uint64_t, PROB_ONE> RECIPROCALS = make_reciprocals();

// The interval of a decision word (p | bit << 12) as frequency | start << 16: one load instead
// of the selects, taking a few instructions out of the coding loop.
constexpr std::array<uint32_t, 2 * PROB_ONE> INTERVALS = [] {
    std::array<uint32_t, 2 * PROB_ONE> table{};
    for (uint32_t p = 0; p < PROB_ONE; ++p) {
        table[p] = p;
        table[PROB_ONE + p] = (PROB_ONE - p) | p << 16;
    }
    return table;
}();

// GCC's straight-line vectoriser packs the eight word stores of a byte into vector shuffles that
// cost a quarter of this pass; plain scalar code is faster.
#if defined(__GNUC__) && !defined(__clang__)
#define KESTOVA_SCALAR_LOOP __attribute__((optimize("no-tree-slp-vectorize")))
#else
#define KESTOVA_SCALAR_LOOP
#endif

// Forward model pass over n bytes read `stride` apart: one decision word per bit, in coding order.
KESTOVA_SCALAR_LOOP void record_decisions(const uint8_t* src, std::size_t stride, std::size_t n,
                                          unsigned s, uint16_t* table, uint16_t* words) {
    const unsigned shift = 8 - s;
    unsigned prev = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned t = src[i * stride];
        uint16_t* ctx = table + ((prev >> shift) << 8);
        unsigned node = 1;
        for (int k = 7; k >= 0; --k) {
            const uint32_t b = (t >> k) & 1;
            const uint32_t word = ctx[node] | b << 12;
            *words++ = static_cast<uint16_t>(word);
            ctx[node] = UPDATED[word];
            node = 2 * node + b;
        }
        prev = t;
    }
}

// Backward coding pass over one plane's decision words, emitting units in place.
struct BackwardCoder {
    uint16_t* words;
    std::size_t top;  // units occupy words[top, count)
    uint32_t x = STATE_LOW;

    // Codes word i; every word above i has been coded already, so top > i. The unit is stored
    // unconditionally (at worst into word i, already read) and kept only when emitted.
    void code(std::size_t i) {
        const uint32_t interval = INTERVALS[words[i]];
        const uint32_t freq = interval & 0xFFFF;
        const uint32_t start = interval >> 16;
        const bool emit = x >= freq << 20;
        words[top - 1] = static_cast<uint16_t>(x);
        top -= emit;
        x = emit ? x >> 16 : x;
        // x + q * (4096 - freq) + start equals (x / freq) * 4096 + x % freq + start.
        const auto q = static_cast<uint32_t>((static_cast<u128>(x) * RECIPROCALS[freq]) >> 64);
        x += q * (PROB_ONE - freq) + start;
    }

    // Appends the coded plane: the final state, then the units in decoding order.
    void append_to(std::vector<uint8_t>& out, std::size_t count) const {
        for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(x >> (8 * k)));
        const std::size_t at = out.size();
        out.resize(at + 2 * (count - top));
        uint8_t* dst = out.data() + at;
        for (std::size_t j = top; j < count; ++j, dst += 2) {
            dst[0] = static_cast<uint8_t>(words[j]);
            dst[1] = static_cast<uint8_t>(words[j] >> 8);
        }
    }

    std::size_t coded_size(std::size_t count) const { return 4 + 2 * (count - top); }
};

}  // namespace

void encode_plane_pair(std::span<const uint8_t> pairs, unsigned s, std::vector<uint8_t>& out) {
    const std::size_t n = pairs.size() / 2;
    const std::size_t count = n * DECISIONS_PER_BYTE;
    const auto words = std::make_unique_for_overwrite<uint16_t[]>(2 * count);
    {
        std::vector<uint16_t> table = fresh_model(s);
        record_decisions(pairs.data(), 2, n, s, table.data(), words.get());
        std::ranges::fill(table, uint16_t{PROB_START});
        record_decisions(pairs.data() + 1, 2, n, s, table.data(), words.get() + count);
    }
    BackwardCoder a{words.get(), count};
    BackwardCoder b{words.get() + count, count};
    for (std::size_t i = count; i-- > 0;) {
        a.code(i);
        b.code(i);
    }
    put_leb128(out, a.coded_size(count));
    out.reserve(out.size() + a.coded_size(count) + b.coded_size(count) + 1);
    a.append_to(out, count);
    b.append_to(out, count);
}

}  // namespace detail

std::vector<uint8_t> encode_plane(std::span<const uint8_t> plane, unsigned s) {
    using namespace detail;
    if (plane.empty()) return {};
    const std::size_t count = plane.size() * DECISIONS_PER_BYTE;
    const auto words = std::make_unique_for_overwrite<uint16_t[]>(count);
    {
        std::vector<uint16_t> table = fresh_model(s);
        record_decisions(plane.data(), 1, plane.size(), s, table.data(), words.get());
    }
    BackwardCoder coder{words.get(), count};
    for (std::size_t i = count; i-- > 0;) coder.code(i);
    std::vector<uint8_t> out;
    out.reserve(coder.coded_size(count));
    coder.append_to(out, count);
    return out;
}

}  // namespace kestova::arans
