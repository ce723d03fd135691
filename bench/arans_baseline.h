// The range-ANS plane-pair coder as it stood before the software-pipelined encoder and the
// shortened decoder chains: kept in the benchmark build only, so that bench_arans measures the
// current coder against it in the same run. Not used by the library.
#pragma once

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include "codec/arans/arans.h"
#include "codec/arans/model.h"
#include "codec/arans/plane_coder.h"

namespace kestova::arans::baseline {

using namespace kestova::arans::detail;

namespace enc {
// floor(x * ceil(2^44 / f) / 2^44) equals x / f for f < 4096 and x < f << 20: with
// e = ceil(2^44 / f) * f - 2^44 < f, the error x * e / (f * 2^44) stays below 1 / f, and the
// product stays below 2^64. The coder's state is below f << 20 whenever it divides.
constexpr int kReciprocalShift = 44;

// Everything the coding step needs about a decision word: one load per term instead of selects
// and arithmetic on the word.
struct Step {
    uint64_t reciprocal;  // ceil(2^44 / frequency)
    uint32_t bound;       // frequency << 20: a unit is emitted from states at or above it
    uint16_t spare;       // 4096 - frequency
    uint16_t start;
};

constexpr Step step_of(uint32_t freq, uint32_t start) {
    const uint64_t reciprocal = ((uint64_t{1} << kReciprocalShift) + freq - 1) / freq;
    return {reciprocal, freq << 20, static_cast<uint16_t>(kProbOne - freq),
            static_cast<uint16_t>(start)};
}

// The step of every decision word p | bit << 12; p is 15..4081 in use, entry 0 is never read.
constexpr std::array<Step, 2 * kProbOne> kSteps = [] {
    std::array<Step, 2 * kProbOne> table{};
    for (uint32_t p = 1; p < kProbOne; ++p) {
        table[p] = step_of(p, 0);
        table[kProbOne + p] = step_of(kProbOne - p, p);
    }
    return table;
}();

// GCC's straight-line vectoriser packs the eight word stores of a byte into vector shuffles that
// cost a quarter of the model pass; plain scalar code is faster.
#if defined(__GNUC__) && !defined(__clang__)
#define KESTOVA_BASELINE_SCALAR_LOOP __attribute__((optimize("no-tree-slp-vectorize")))
#else
#define KESTOVA_BASELINE_SCALAR_LOOP
#endif

// An uninitialised array of 16-bit words. Arrays of 2 MiB and more are aligned to 2 MiB and
// offered to the kernel as huge pages: the model copies are fresh memory touched once, and page
// faults on them otherwise cost as much as a tenth of the encoder's time. Throws bad_alloc.
class WordArray {
  public:
    explicit WordArray(std::size_t count) {
        constexpr std::size_t kHugePage = std::size_t{1} << 21;
        const std::size_t bytes = count * sizeof(uint16_t);
        if (bytes < kHugePage) {
            words_.reset(static_cast<uint16_t*>(std::malloc(bytes)));
        } else {
            const std::size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
            words_.reset(static_cast<uint16_t*>(std::aligned_alloc(kHugePage, rounded)));
            if (words_) madvise(words_.get(), rounded, MADV_HUGEPAGE);  // advice only
        }
        if (count > 0 && !words_) throw std::bad_alloc();
    }

    uint16_t* get() const { return words_.get(); }

  private:
    struct Free {
        void operator()(uint16_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint16_t[], Free> words_;
};

// Units in the order the coder emits them. Grows without value-initialising its storage.
class UnitStack {
  public:
    // Makes room for `more` units after the kept ones and returns where the next one goes.
    uint16_t* reserve(std::size_t more) {
        if (more > capacity_ - size_) {
            const std::size_t capacity = std::max(2 * capacity_, size_ + more);
            auto grown = std::make_unique_for_overwrite<uint16_t[]>(capacity);
            std::copy_n(units_.get(), size_, grown.get());
            units_ = std::move(grown);
            capacity_ = capacity;
        }
        return units_.get() + size_;
    }

    // Keeps the units written up to `end`, a pointer into the room last reserved.
    void keep(const uint16_t* end) { size_ = static_cast<std::size_t>(end - units_.get()); }

    std::size_t size() const { return size_; }
    uint16_t operator[](std::size_t i) const { return units_[i]; }

  private:
    std::unique_ptr<uint16_t[]> units_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// One plane being coded: its bytes, its model copies and its coder state.
struct Lane {
    Lane(const uint8_t* src, std::size_t stride) : src(src), stride(stride) {}

    uint8_t byte(std::size_t i) const { return src[i * stride]; }
    // The byte before byte i, 0 before the first.
    unsigned prev(std::size_t i) const { return i ? byte(i - 1) : 0; }

    // Coded size: the final state and two bytes per unit.
    std::size_t coded_size() const { return 4 + 2 * units.size(); }

    // Appends the coded plane: the final state, then the units in decoding order.
    void append_to(std::vector<uint8_t>& out) const {
        const std::size_t at = out.size();
        out.resize(at + coded_size());
        uint8_t* dst = out.data() + at;
        for (int k = 0; k < 4; ++k) *dst++ = static_cast<uint8_t>(x >> (8 * k));
        for (std::size_t j = units.size(); j-- > 0; dst += 2) {
            dst[0] = static_cast<uint8_t>(units[j]);
            dst[1] = static_cast<uint8_t>(units[j] >> 8);
        }
    }

    const uint8_t* src;  // byte i of the plane is src[i * stride]
    std::size_t stride;
    uint16_t* models = nullptr;  // the model at the start of chunk k: models + k * entries
    uint32_t x = kStateLow;      // in [kStateLow, 2^32) between decisions
    UnitStack units;
};

// Runs `model` forward over bytes [begin, end) of a lane; when Record, writes each decision's
// word to `words` in coding order, eight per byte, most significant bit first.
template <bool Record>
KESTOVA_BASELINE_SCALAR_LOOP void model_range(const Lane& lane, std::size_t begin, std::size_t end,
                                              unsigned shift, uint16_t* model, uint16_t* words) {
    unsigned prev = lane.prev(begin);
    for (std::size_t i = begin; i < end; ++i) {
        const unsigned t = lane.byte(i);
        uint16_t* ctx = model + ((prev >> shift) << 8);
        unsigned node = 1;
        for (int k = 7; k >= 0; --k) {
            const uint32_t b = (t >> k) & 1;
            const uint32_t word = ctx[node] | b << 12;
            if constexpr (Record) *words++ = static_cast<uint16_t>(word);
            ctx[node] = kUpdated[word];
            node = 2 * node + b;
        }
        prev = t;
    }
}

// Codes one decision word into x. The unit x would emit is stored at `out` unconditionally and
// kept by advancing `out` only when emitted, so the branch on a poorly predictable condition
// becomes arithmetic.
inline void code_word(uint32_t word, uint32_t& x, uint16_t*& out) {
    const Step& step = kSteps[word];
    const bool emit = x >= step.bound;
    *out = static_cast<uint16_t>(x);
    out += emit;
    x = emit ? x >> 16 : x;
    // x + q * (4096 - freq) + start equals (x / freq) * 4096 + x % freq + start.
    const auto q = static_cast<uint32_t>((x * step.reciprocal) >> kReciprocalShift);
    x += q * step.spare + step.start;
}

// Codes Lanes planes of n > 0 bytes each with width s, leaving each lane's final state and units
// in the lane. The lanes' coding steps are interleaved: each one's state chain is bound by
// multiply latency, and two chains keep the core busier than one.
template <std::size_t Lanes>
class ChunkedEncoder {
  public:
    ChunkedEncoder(std::array<Lane, Lanes>& lanes, std::size_t n, unsigned s)
        : lanes_(lanes),
          n_(n),
          shift_(8 - s),
          entries_(std::size_t{256} << s),
          chunk_(encoder_chunk_bytes(s)),
          chunks_((n + chunk_ - 1) / chunk_),
          span_(kDecisionsPerByte * std::min(n, chunk_)),
          models_(Lanes * chunks_ * entries_),
          words_(Lanes * span_) {}

    void run() {
        model_pass();
        for (std::size_t k = chunks_; k-- > 0;) {
            for (std::size_t l = 0; l < Lanes; ++l) {
                model_range<true>(lanes_[l], k * chunk_, chunk_end(k), shift_, model(l, k),
                                  words(l));
            }
            code_chunk(k);
        }
    }

  private:
    uint16_t* model(std::size_t l, std::size_t k) const { return lanes_[l].models + k * entries_; }
    uint16_t* words(std::size_t l) const { return words_.get() + l * span_; }
    std::size_t chunk_end(std::size_t k) const { return std::min(n_, (k + 1) * chunk_); }

    // Adapts a fresh model over every chunk but the last, keeping a copy at each chunk start.
    void model_pass() {
        for (std::size_t l = 0; l < Lanes; ++l) {
            lanes_[l].models = models_.get() + l * chunks_ * entries_;
            std::fill_n(model(l, 0), entries_, uint16_t{kProbStart});
            for (std::size_t k = 0; k + 1 < chunks_; ++k) {
                std::copy_n(model(l, k), entries_, model(l, k + 1));
                model_range<false>(lanes_[l], k * chunk_, chunk_end(k), shift_, model(l, k + 1),
                                   nullptr);
            }
        }
    }

    // Codes the recorded words of chunk k backward, last word first.
    void code_chunk(std::size_t k) {
        const std::size_t count = kDecisionsPerByte * (chunk_end(k) - k * chunk_);
        uint32_t x[Lanes];
        uint16_t* out[Lanes];
        for (std::size_t l = 0; l < Lanes; ++l) {
            x[l] = lanes_[l].x;
            out[l] = lanes_[l].units.reserve(count);  // at most one unit per decision
        }
        for (std::size_t i = count; i-- > 0;) {
            for (std::size_t l = 0; l < Lanes; ++l) code_word(words(l)[i], x[l], out[l]);
        }
        for (std::size_t l = 0; l < Lanes; ++l) {
            lanes_[l].x = x[l];
            lanes_[l].units.keep(out[l]);
        }
    }

    std::array<Lane, Lanes>& lanes_;
    const std::size_t n_;
    const unsigned shift_;
    const std::size_t entries_;  // model entries per lane
    const std::size_t chunk_;
    const std::size_t chunks_;
    const std::size_t span_;  // words per lane in the buffer
    WordArray models_;        // per lane, one model table per chunk
    WordArray words_;         // per lane, the words of one chunk
};

}  // namespace enc

namespace dec {
// Bytes decoded between growths of the (already reserved) output.
constexpr std::size_t kChunk = std::size_t{1} << 15;

// Decodes one bit with entry `e` and adapts it; leaves x unnormalised. Both candidate states are
// computed before the bit is known and one is picked with a select: a branch on a poorly
// predictable bit costs far more, and the multiply no longer waits for the bit.
inline uint32_t step(uint16_t& e, uint32_t& x) {
    const uint32_t p = e;
    const uint32_t slot = x & (kProbOne - 1);
    const uint32_t bit = slot >= p;
    // Bit 0: p * (x >> 12) + slot. Bit 1: (4096 - p) * (x >> 12) + slot - p, which equals
    // x - p * (x >> 12) - p because x = (x >> 12) * 4096 + slot.
    const uint32_t scaled = p * (x >> 12);
    const uint32_t if_zero = scaled + slot;
    const uint32_t if_one = x - scaled - p;
    x = bit ? if_one : if_zero;
    e = kUpdated[p | bit << 12];
    return bit;
}

// One decision followed by at most one refill from `in`, which must have 2 readable bytes. The
// refilled state is formed unconditionally and picked with a select, not a branch.
inline uint32_t decide_fast(uint16_t& e, uint32_t& x, const uint8_t*& in) {
    const uint32_t bit = step(e, x);
    const bool need = x < kStateLow;
    const uint32_t refilled = x << 16 | load_u16le(in);
    x = need ? refilled : x;
    in += need ? 2 : 0;
    return bit;
}

// The decoding state of one plane.
struct PlaneDecoder {
    // `coded` holds at least 4 bytes.
    PlaneDecoder(std::span<const uint8_t> coded, unsigned s)
        : in(coded.data() + 4),
          end(coded.data() + coded.size()),
          x(load_u32le(coded.data())),
          shift(8 - s),
          table(fresh_model(s)) {}

    // True when the next byte may take the fast path: 16 bytes left and x normalised.
    bool can_fast() const { return end - in >= 16 && x >= kStateLow; }

    // The model entries of the current context.
    uint16_t* context() { return table.data() + ((prev >> shift) << 8); }

    // Decodes one byte with bounds-checked refills; false when the coded plane runs out.
    bool byte_checked(uint8_t& out) {
        uint16_t* ctx = context();
        unsigned node = 1;
        for (uint32_t k = 0; k < kDecisionsPerByte; ++k) {
            node = 2 * node + step(ctx[node], x);
            while (x < kStateLow) {
                if (end - in < 2) return false;
                x = (x << 16) | load_u16le(in);
                in += 2;
            }
        }
        out = static_cast<uint8_t>(node);
        prev = out;
        return true;
    }

    // Decodes one byte on the fast path; needs can_fast().
    uint8_t byte_fast() {
        uint16_t* ctx = context();
        uint32_t state = x;
        const uint8_t* at = in;
        unsigned node = 1;
#pragma GCC unroll 8
        for (uint32_t k = 0; k < kDecisionsPerByte; ++k) {
            node = 2 * node + decide_fast(ctx[node], state, at);
        }
        x = state;
        in = at;
        prev = static_cast<uint8_t>(node);
        return static_cast<uint8_t>(node);
    }

    const uint8_t* in;
    const uint8_t* end;
    uint32_t x;
    unsigned shift;
    unsigned prev = 0;
    std::vector<uint16_t> table;
};

// One decision of a fast lane whose probability p is already loaded. When `Children`, the
// entries of both children are fetched with one load before the bit is known and the next p is
// picked from them, which takes the table's load latency off the chain between decisions.
template <bool Children>
inline void lane_decide(uint16_t* ctx, unsigned& node, uint32_t& p, uint32_t& x,
                        const uint8_t*& in) {
    static_assert(std::endian::native == std::endian::little);
    uint32_t children = 0;
    if constexpr (Children) std::memcpy(&children, ctx + 2 * node, sizeof children);
    uint16_t entry = static_cast<uint16_t>(p);
    const uint32_t bit = decide_fast(entry, x, in);
    ctx[node] = entry;
    node = 2 * node + bit;
    if constexpr (Children) p = (children >> (bit << 4)) & 0xFFFF;
}

// Decodes one byte from each of two planes with their decisions interleaved; needs can_fast()
// on both. The states live in locals so that they stay in registers.
inline void pair_fast(PlaneDecoder& a, PlaneDecoder& b, uint8_t* out) {
    uint16_t* ca = a.context();
    uint16_t* cb = b.context();
    uint32_t xa = a.x;
    uint32_t xb = b.x;
    uint32_t pa = ca[1];
    uint32_t pb = cb[1];
    const uint8_t* ia = a.in;
    const uint8_t* ib = b.in;
    unsigned na = 1;
    unsigned nb = 1;
#pragma GCC unroll 7
    for (uint32_t k = 0; k + 1 < kDecisionsPerByte; ++k) {
        lane_decide<true>(ca, na, pa, xa, ia);
        lane_decide<true>(cb, nb, pb, xb, ib);
    }
    lane_decide<false>(ca, na, pa, xa, ia);
    lane_decide<false>(cb, nb, pb, xb, ib);
    a.x = xa;
    b.x = xb;
    a.in = ia;
    b.in = ib;
    a.prev = out[0] = static_cast<uint8_t>(na);
    b.prev = out[1] = static_cast<uint8_t>(nb);
}

// Decodes both planes in one loop into `out`, whose capacity already holds 2n + tail bytes.
inline AransResult<std::vector<uint8_t>> decode_fused(std::vector<uint8_t>& out,
                                                      std::span<const uint8_t> coded_a,
                                                      std::span<const uint8_t> coded_b,
                                                      std::size_t n, unsigned s,
                                                      std::span<const uint8_t> tail) {
    PlaneDecoder a(coded_a, s);
    PlaneDecoder b(coded_b, s);
    for (std::size_t i = 0; i < n;) {
        const std::size_t end = std::min(n, i + kChunk);
        out.resize(2 * end);  // within the reservation: never reallocates
        uint8_t* o = out.data();
        for (; i < end; ++i) {
            if (a.can_fast() && b.can_fast()) {
                pair_fast(a, b, o + 2 * i);
            } else if (!a.byte_checked(o[2 * i]) || !b.byte_checked(o[2 * i + 1])) {
                return std::unexpected(AransError::Truncated);
            }
        }
    }
    out.insert(out.end(), tail.begin(), tail.end());
    return std::move(out);
}

}  // namespace dec

inline void encode_plane_pair(std::span<const uint8_t> pairs, unsigned s,
                              std::vector<uint8_t>& out) {
    const std::size_t n = pairs.size() / 2;
    if (n == 0) return put_leb128(out, 0);  // two empty planes
    std::array<enc::Lane, 2> lanes{enc::Lane{pairs.data(), 2}, enc::Lane{pairs.data() + 1, 2}};
    enc::ChunkedEncoder<2>(lanes, n, s).run();
    put_leb128(out, lanes[0].coded_size());
    out.reserve(out.size() + lanes[0].coded_size() + lanes[1].coded_size() + 1);
    lanes[0].append_to(out);
    lanes[1].append_to(out);
}

// Decodes two coded planes of n bytes each (the fast fused path only; inputs are well formed).
inline AransResult<std::vector<uint8_t>> decode_plane_pair(std::span<const uint8_t> coded_a,
                                                           std::span<const uint8_t> coded_b,
                                                           std::size_t n, unsigned s) {
    std::vector<uint8_t> out;
    out.reserve(2 * n);
    return dec::decode_fused(out, coded_a, coded_b, n, s, {});
}

}  // namespace kestova::arans::baseline
