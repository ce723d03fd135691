#include "codec/v2/table_coder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <memory>

#include "codec/v2/bit_string.h"

namespace kestova::v2 {

namespace {

constexpr int kSymbols = 65;  // 0, then + and - of each class 1 to 32
constexpr int kTopBits = 7;   // a context's count of described symbols, 0 to kSymbols
constexpr uint32_t kActivityCap = 25;
constexpr int kContexts = 2 * (kActivityCap + 1);
constexpr int kTableBits = 10;
constexpr uint32_t kSlots = 1u << kTableBits;
constexpr uint32_t kMaxFrequency = kSlots - 2;
constexpr int kSegments = 4;         // one rANS state each
constexpr uint32_t kLow = 1u << 16;  // a state stays in [kLow, 2^32) between symbols
constexpr std::size_t kHeadSize = 4 * kSegments + 4;
constexpr uint32_t kUnused = 127;  // the symbol of a context no table describes

constexpr uint32_t class_of_symbol(uint32_t s) {
    return (s + 1) / 2;
}

// Raw bits after the symbol: the bits of |r| below its leading one.
constexpr int extra_bits_of_symbol(uint32_t s) {
    return s < 3 ? 0 : static_cast<int>(class_of_symbol(s)) - 1;
}

// A segment's context: the classes of its last four residuals, one per byte (latest lowest, 6
// bits each), and in the top bit whether its last nonzero residual was negative.
struct Context {
    static constexpr uint32_t kClassBits = 0x3F3F3F3Fu;
    uint32_t packed = 0;

    uint32_t index() const {
        // A symbol's class is at most 32, so the four add up within the top byte (an invalid
        // symbol's may not, but it marks the block damaged anyway).
        const uint32_t activity = ((packed & kClassBits) * 0x01010101u) >> 24;
        return 2 * std::min(activity, kActivityCap) + (packed >> 31);
    }
    void after(uint32_t s) {
        const uint32_t negative = s == 0 ? packed >> 31 : (s & 1) ^ 1;
        packed = (((packed << 8) | class_of_symbol(s)) & kClassBits) | (negative << 31);
    }
};

// Where residual i of the decoding order lies: the segments of q = m / 4 residuals (the last one
// takes the rest) are visited in turn, one residual of each, then the rest of the last segment.
struct Order {
    std::size_t m;
    std::size_t q = m / kSegments;

    std::size_t rounds() const { return q; }
    std::size_t tail() const { return m - kSegments * q; }
    std::size_t at(std::size_t round, int segment) const { return segment * q + round; }
    std::size_t tail_at(std::size_t j) const { return kSegments * q + j; }
};

using Row = std::array<uint32_t, kSymbols>;

// Frequencies adding up to kSlots, each within 1..kMaxFrequency where the symbol occurs (a
// symbol that never occurs gets a slot or two only where the cap needs them); all 0 for a
// context that never occurs.
Row normalize(const Row& counts) {
    Row f{};
    uint64_t total = 0;
    for (const uint32_t n : counts) total += n;
    if (total == 0) return f;
    uint32_t sum = 0;
    for (int s = 0; s < kSymbols; ++s) {
        if (counts[s] == 0) continue;
        f[s] = static_cast<uint32_t>(
            std::max<uint64_t>(1, (uint64_t{counts[s]} * kSlots + total / 2) / total));
        sum += f[s];
    }
    while (sum != kSlots) {
        auto& largest = *std::ranges::max_element(f);
        const uint32_t change = sum < kSlots ? kSlots - sum : std::min(sum - kSlots, largest - 1);
        largest = sum < kSlots ? largest + change : largest - change;
        sum = sum < kSlots ? sum + change : sum - change;
    }
    const auto largest = std::ranges::max_element(f) - f.begin();
    if (f[largest] > kMaxFrequency) {
        f[largest == 0 ? 1 : 0] += f[largest] - kMaxFrequency;
        f[largest] = kMaxFrequency;
    }
    return f;
}

void put_u32(uint32_t v, uint8_t* at) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get_u32(const uint8_t* at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{at[i]} << (8 * i);
    return v;
}

uint64_t magnitude_of(int64_t r) {
    return r < 0 ? uint64_t(0) - uint64_t(r) : uint64_t(r);
}

uint8_t symbol_of(int64_t r) {
    const auto c = static_cast<int>(std::bit_width(magnitude_of(r)));
    return static_cast<uint8_t>(c == 0 ? 0 : 2 * c - (r < 0 ? 0 : 1));
}

// The decoder's table: per context and slot the symbol (7 bits), its frequency (11 bits) and the
// slot less the symbol's first slot (10 bits). A context the tables leave out holds kUnused.
constexpr uint32_t entry(uint32_t s, uint32_t f, uint32_t offset) {
    return s | (f << 7) | (offset << 18);
}

constexpr std::array<uint8_t, 128> extra_bits_table() {
    std::array<uint8_t, 128> out{};
    for (uint32_t s = 0; s < kSymbols; ++s) out[s] = static_cast<uint8_t>(extra_bits_of_symbol(s));
    return out;
}
constexpr std::array<uint8_t, 128> kExtraBits = extra_bits_table();

// One residual of one segment: a lookup, the state's step and refill, the raw bits; without a
// branch on the data (a refill is too frequent and too irregular to predict).
struct SegmentDecoder {
    const uint32_t* table;
    const uint16_t* words;
    std::size_t last_word;  // index of a zero word after the block's words
    const uint8_t* bits;
    std::size_t bit_position;
    std::size_t next_word = 0;
    uint32_t invalid = 0;

    int64_t next(uint32_t& x, Context& context) {
        const uint32_t e = table[(context.index() << kTableBits) + (x & (kSlots - 1))];
        const uint32_t s = e & 0x7F;
        context.after(s);
        x = ((e >> 7) & 0x7FF) * (x >> kTableBits) + (e >> 18);
        const uint32_t refill = x < kLow ? 1u : 0u;
        const uint32_t word = words[std::min(next_word, last_word)];
        x = (x << (16 * refill)) | (word & (0u - refill));
        next_word += refill;
        invalid |= s >= kSymbols ? 1u : 0u;
        const int extra = kExtraBits[s];
        const uint64_t raw = BitReader::peek_at(bits, bit_position) & ((uint64_t{1} << extra) - 1);
        bit_position += static_cast<std::size_t>(extra);
        const auto magnitude = static_cast<int64_t>((uint64_t{s != 0} << extra) | raw);
        const int64_t negative = int64_t{(s & 1) == 0} * -1;  // 0 or -1
        return (magnitude ^ negative) - negative;
    }
};

// -log2(f / kSlots) in units of 2^-16 bits, for f = 0 to kSlots (0 for f = 0: never used).
const std::array<uint32_t, kSlots + 1>& symbol_costs() {
    static const auto costs = [] {
        std::array<uint32_t, kSlots + 1> out{};
        for (uint32_t f = 1; f <= kSlots; ++f) {
            out[f] = static_cast<uint32_t>(std::lround(-std::log2(double(f) / kSlots) * 65536.0));
        }
        return out;
    }();
    return costs;
}

}  // namespace

struct TablePlan::Tables {
    std::array<Row, kContexts> freq{};
    std::array<Row, kContexts> start{};
};

TablePlan::TablePlan(std::span<const int64_t> residuals)
    : residuals_(residuals),
      symbols_(residuals.size()),
      contexts_(residuals.size()),
      tables_(std::make_unique<Tables>()) {
    const Order order{residuals.size()};
    // One pass in the decoding order: symbols, contexts and counts (the raw bits wait for
    // write()). Each segment counts apart, so that a run of one symbol in every segment does not
    // make one chain of increments to one counter; locals and plain pointers, so that the byte
    // stores do not force the rest back to memory.
    std::vector<std::array<Row, kContexts>> counts(kSegments);
    std::array<Context, kSegments> segment_contexts{};
    uint8_t* const symbols = symbols_.data();
    uint8_t* const contexts = contexts_.data();
    const int64_t* const values = residuals.data();
    uint64_t raw_bits = 0;
    const auto visit = [&](std::size_t i, Context& context, std::array<Row, kContexts>& rows) {
        const uint8_t s = symbol_of(values[i]);
        const auto c = static_cast<uint8_t>(context.index());
        symbols[i] = s;
        contexts[i] = c;
        ++rows[c][s];
        context.after(s);
        raw_bits += kExtraBits[s];
    };
    for (std::size_t j = 0; j < order.rounds(); ++j) {
        for (int k = 0; k < kSegments; ++k) visit(order.at(j, k), segment_contexts[k], counts[k]);
    }
    for (std::size_t j = 0; j < order.tail(); ++j) {
        visit(order.tail_at(j), segment_contexts[kSegments - 1], counts[kSegments - 1]);
    }
    raw_bits_ = raw_bits;
    for (int k = 1; k < kSegments; ++k) {
        for (int c = 0; c < kContexts; ++c) {
            for (int s = 0; s < kSymbols; ++s) counts[0][c][s] += counts[k][c][s];
        }
    }
    BitWriter writer(description_);
    uint64_t symbol_cost = 0;  // 2^-16 bits
    for (int c = 0; c < kContexts; ++c) {
        auto& freq = tables_->freq[c];
        freq = normalize(counts[0][c]);
        int top = kSymbols;
        while (top > 0 && freq[top - 1] == 0) --top;
        writer.write(static_cast<uint32_t>(top), kTopBits);
        description_bits_ += kTopBits;
        uint32_t sum = 0;
        for (int s = 0; s < top; ++s) {
            writer.write_gamma(freq[s] + 1);
            description_bits_ += 2 * std::bit_width(freq[s] + 1) - 1;
            tables_->start[c][s] = sum;
            sum += freq[s];
            symbol_cost += uint64_t{counts[0][c][s]} * symbol_costs()[freq[s]];
        }
    }
    writer.finish();
    estimate_ = kHeadSize + (description_bits_ + raw_bits_ + (symbol_cost >> 16) + 7) / 8;
}

TablePlan::~TablePlan() = default;

void TablePlan::write(std::vector<uint8_t>& out) const {
    // The tables, then the raw bits in the decoding order.
    const Order order{residuals_.size()};
    std::vector<uint8_t> bits;
    BitWriter writer(bits);
    writer.append(description_, description_bits_);
    const auto raw = [&](std::size_t i) {
        const int extra = kExtraBits[symbols_[i]];
        writer.write(magnitude_of(residuals_[i]) & ((uint64_t{1} << extra) - 1), extra);
    };
    for (std::size_t j = 0; j < order.rounds(); ++j) {
        for (int k = 0; k < kSegments; ++k) raw(order.at(j, k));
    }
    for (std::size_t j = 0; j < order.tail(); ++j) raw(order.tail_at(j));
    writer.finish();

    // The symbols in the reverse of the decoding order, so that the decoder reads the words
    // first to last.
    std::array<uint32_t, kSegments> state;
    state.fill(kLow);
    // Each symbol puts out at most one word: written unconditionally, kept when the state
    // must shrink (no branch to mispredict).
    std::vector<uint16_t> words(residuals_.size() + 1);
    std::size_t put = 0;
    const auto& freq = tables_->freq;
    const auto& start = tables_->start;
    const auto code = [&](std::size_t i, uint32_t& x) {
        const uint32_t f = freq[contexts_[i]][symbols_[i]];
        const uint32_t shrink = x >= (f << (32 - kTableBits)) ? 1u : 0u;
        words[put] = static_cast<uint16_t>(x);
        put += shrink;
        x >>= 16 * shrink;
        // x / f through float64: exact, since the quotient of two whole numbers below 2^32 is
        // rounded by less than 1 / f.
        const auto q = static_cast<uint32_t>(static_cast<double>(x) / f);
        x = (q << kTableBits) + (x - q * f) + start[contexts_[i]][symbols_[i]];
    };
    for (std::size_t j = order.tail(); j-- > 0;) code(order.tail_at(j), state[kSegments - 1]);
    for (std::size_t j = order.rounds(); j-- > 0;) {
        for (int k = kSegments; k-- > 0;) code(order.at(j, k), state[k]);
    }
    words.resize(put);
    const std::size_t head = out.size();
    out.resize(head + kHeadSize);
    for (int k = 0; k < kSegments; ++k) put_u32(state[k], out.data() + head + 4 * k);
    put_u32(static_cast<uint32_t>(2 * words.size()), out.data() + head + 4 * kSegments);
    for (std::size_t w = words.size(); w-- > 0;) {
        out.push_back(static_cast<uint8_t>(words[w]));
        out.push_back(static_cast<uint8_t>(words[w] >> 8));
    }
    out.insert(out.end(), bits.begin(), bits.end());
}

bool encode_table_block(std::span<const int64_t> residuals, std::size_t byte_limit,
                        std::vector<uint8_t>& out) {
    const TablePlan plan(residuals);
    if (plan.bytes() > byte_limit) return false;
    plan.write(out);
    return true;
}

bool decode_table_block(std::span<const uint8_t> block, std::span<int64_t> residuals) {
    if (block.size() < kHeadSize) return false;
    std::array<uint32_t, kSegments> state;
    for (int k = 0; k < kSegments; ++k) {
        state[k] = get_u32(block.data() + 4 * k);
        if (state[k] < kLow) return false;
    }
    const uint32_t word_bytes = get_u32(block.data() + 4 * kSegments);
    if (word_bytes % 2 != 0 || word_bytes > block.size() - kHeadSize) return false;
    const auto word_span = block.subspan(kHeadSize, word_bytes);
    BitReader bits(block.subspan(kHeadSize + word_bytes));

    std::vector<uint32_t> table(std::size_t{kContexts} * kSlots);
    for (int c = 0; c < kContexts; ++c) {
        const uint32_t top = bits.read(kTopBits);
        if (top > kSymbols) return false;
        uint32_t* row = table.data() + std::size_t{kSlots} * c;
        if (top == 0) {
            for (uint32_t slot = 0; slot < kSlots; ++slot) row[slot] = entry(kUnused, kSlots, slot);
            continue;
        }
        uint32_t sum = 0;
        for (uint32_t s = 0; s < top; ++s) {
            uint32_t f = 0;
            if (!bits.read_gamma(kTableBits, f)) return false;
            --f;
            if (f > kMaxFrequency || f > kSlots - sum) return false;
            for (uint32_t k = 0; k < f; ++k) row[sum + k] = entry(s, f, k);
            sum += f;
        }
        if (sum != kSlots || bits.overrun()) return false;
    }

    std::vector<uint16_t> words(word_bytes / 2 + 1, 0);
    for (std::size_t w = 0; w + 1 < words.size(); ++w) {
        words[w] = static_cast<uint16_t>(word_span[2 * w] | (word_span[2 * w + 1] << 8));
    }
    SegmentDecoder decoder{table.data(), words.data(), words.size() - 1, bits.bytes(),
                           bits.position()};
    const Order order{residuals.size()};
    const std::size_t bit_limit = 8 * bits.size();
    // The four chains in locals, so that they stay in registers and overlap.
    static_assert(kSegments == 4);
    uint32_t x0 = state[0], x1 = state[1], x2 = state[2], x3 = state[3];
    Context c0, c1, c2, c3;
    int64_t* const r0 = residuals.data();
    int64_t* const r1 = r0 + order.q;
    int64_t* const r2 = r1 + order.q;
    int64_t* const r3 = r2 + order.q;
    for (std::size_t j = 0; j < order.rounds(); ++j) {
        r0[j] = decoder.next(x0, c0);
        r1[j] = decoder.next(x1, c1);
        r2[j] = decoder.next(x2, c2);
        r3[j] = decoder.next(x3, c3);
        if (decoder.bit_position > bit_limit) return false;
    }
    for (std::size_t j = order.rounds(); j < order.rounds() + order.tail(); ++j) {
        r3[j] = decoder.next(x3, c3);
    }
    state = {x0, x1, x2, x3};
    uint32_t bad = decoder.invalid;
    for (const uint32_t x : state) bad |= x != kLow ? 1u : 0u;
    bits.seek(decoder.bit_position);
    return bad == 0 && decoder.next_word == words.size() - 1 && bits.whole();
}

}  // namespace kestova::v2
