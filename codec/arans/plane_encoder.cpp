// Chunked, software-pipelined range-ANS encoder. A plane is cut into chunks of
// encoder_chunk_bytes(s) bytes, except chunk 0, which takes what is left over and may be shorter.
// The model pass runs forward over the plane once and keeps a copy of the model table as it stands
// at the start of every chunk. The coding pass then takes the chunks last to first and codes each
// one's decision words backward; in the same loop it records the words of the chunk before, from
// that chunk's model copy, each into the place of the word just coded. Recording again costs less
// than the fresh memory a word for every decision of the plane would take; interleaved with the
// coding it runs in the time the coding chains spend waiting on multiplies, and one chunk-sized
// buffer serves both.
//
// A decision word holds the probability p in bits 0..11 and the bit in bit 12. The coder keeps its
// 16-bit units in the order it emits them; the coded plane lists them last first, which is the
// order the decoder reads them.
#include <algorithm>
#include <array>
#include <memory>

#include "codec/arans/arans.h"
#include "codec/arans/model.h"
#include "codec/arans/plane_coder.h"
#include "codec/uninit_buffer.h"

namespace kestova::arans {

namespace detail {
namespace {

// A 128-bit product is the way to the high half of a 64-bit multiply.
__extension__ typedef unsigned __int128 Wide;

// floor(x / f) for a 32-bit x as the high half of x * ceil(2^64 / f): with
// e = ceil(2^64 / f) * f - 2^64 < f, the product exceeds x * 2^64 / f by x * e / f, less than
// 2^64 / f because x * e < 2^44, so it never reaches the next multiple of 2^64. One multiply and
// no shift on the chain from one state to the next.
inline uint32_t quotient(uint32_t x, uint64_t reciprocal) {
    return static_cast<uint32_t>((static_cast<Wide>(x) * reciprocal) >> 64);
}

// Everything the coding step needs about a decision word: one load per term instead of selects
// and arithmetic on the word.
struct Step {
    uint64_t reciprocal;  // ceil(2^64 / frequency)
    uint32_t bound;       // frequency << 20: a unit is emitted from states at or above it
    uint16_t spare;       // 4096 - frequency
    uint16_t start;
};

constexpr Step step_of(uint32_t freq, uint32_t start) {
    const Wide one = static_cast<Wide>(1) << 64;
    const auto reciprocal = static_cast<uint64_t>((one + freq - 1) / freq);
    return {reciprocal, freq << 20, static_cast<uint16_t>(kProbOne - freq),
            static_cast<uint16_t>(start)};
}

// The step of every decision word p | bit << 12 that occurs; the others are never read.
constexpr std::array<Step, 2 * kProbOne> kSteps = [] {
    std::array<Step, 2 * kProbOne> table{};
    for (uint32_t p = kProbReachedMin; p <= kProbReachedMax; ++p) {
        table[p] = step_of(p, 0);
        table[kProbOne + p] = step_of(kProbOne - p, p);
    }
    return table;
}();

// GCC's straight-line vectoriser packs the eight word stores of a byte into vector shuffles that
// cost a quarter of the model pass; plain scalar code is faster.
#if defined(__GNUC__) && !defined(__clang__)
#define KESTOVA_SCALAR_LOOP __attribute__((optimize("no-tree-slp-vectorize")))
#else
#define KESTOVA_SCALAR_LOOP
#endif

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

// One plane being coded: its bytes, its model copies and its coder state. The planes coded
// together are interleaved in their source: byte i of a lane is src[i * lanes].
struct Lane {
    explicit Lane(const uint8_t* src) : src(src) {}

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

    const uint8_t* src;
    uint16_t* models = nullptr;  // the model at the start of chunk k: models + k * entries
    uint32_t x = kStateLow;      // in [kStateLow, 2^32) between decisions
    UnitStack units;
};

// Runs one lane's model of one chunk forward over the lane's bytes, Stride bytes apart in memory.
template <std::size_t Stride>
struct ModelWalk {
    // Moves to the next byte; its decisions follow, most significant bit first.
    void start_byte() {
        ctx = model + ((prev >> shift) << 8);
        prev = *src;
        src += Stride;
        marked = prev | 0x100;
    }

    // Models decision d (0..7) of the current byte, adapting the entry it reads, and returns
    // the decision's word. Its node is the marker bit followed by the d bits already decided.
    uint32_t decide(uint32_t d) {
        uint16_t& entry = ctx[marked >> (8 - d)];
        const uint32_t word = entry | ((marked >> (7 - d)) & 1) << 12;
        entry = kUpdated[word];
        return word;
    }

    const uint8_t* src = nullptr;  // the next byte
    unsigned prev = 0;             // the byte before it (0 before the first), then the current byte
    uint16_t* model = nullptr;     // the chunk's model table
    unsigned shift = 0;            // 8 - context width
    uint16_t* ctx = nullptr;       // the current byte's context
    unsigned marked = 0;           // the current byte with a marker bit above it (256 + byte)
};

// The coding state of one lane: x and where the next unit goes.
struct Coder {
    uint32_t x;  // in [kStateLow, 2^32) between words
    uint16_t* out;
};

// Codes one decision word into the coder. A unit leaves on a branch: units are rare (one per 16
// coded bits, while a decision codes a bit or much less), so the branch is mostly predicted and
// the test stays off the chain from one state to the next, which is then one quotient multiply,
// one multiply and an add.
inline void code_word(const Step& step, Coder& c) {
    uint32_t x = c.x;
    if (__builtin_expect(x >= step.bound, 0)) {
        *c.out++ = static_cast<uint16_t>(x);
        x >>= 16;
    }
    // x < f << 20 now, so q < 2^20 and the sum stays below 2^32; it equals
    // (x / f) * 4096 + x % f + start.
    const uint32_t q = quotient(x, step.reciprocal);
    c.x = x + q * step.spare + step.start;
}

// Codes Lanes planes of n > 0 bytes each with width s, leaving each lane's final state and units
// in the lane. The lanes' coding steps are interleaved: each one's state chain is bound by
// multiply latency, and two chains keep the core busier than one.
template <std::size_t Lanes>
class ChunkedEncoder {
  public:
    ChunkedEncoder(std::array<Lane, Lanes>& lanes, std::size_t n, unsigned s)
        : lanes_(lanes),
          shift_(8 - s),
          entries_(std::size_t{256} << s),
          chunk_(encoder_chunk_bytes(s)),
          chunks_((n + chunk_ - 1) / chunk_),
          first_(n - (chunks_ - 1) * chunk_),
          models_(Lanes * chunks_ * entries_),
          words_(Lanes * kDecisionsPerByte * std::min(n, chunk_)) {
        for (std::size_t l = 0; l < Lanes; ++l) {
            lanes_[l].models = models_.span().data() + l * chunks_ * entries_;
        }
    }

    void run() {
        model_pass();
        // Word i of chunk k (decision i in coding order) of lane l sits at
        // words_[(at + i * dir) * Lanes + l].
        record_last();
        std::ptrdiff_t at = 0;
        bool forward = true;  // dir = +1
        for (std::size_t k = chunks_; k-- > 0;) {
            // The coder reads chunk k's words from its last to its first; chunk k - 1's word i
            // goes where the coder read at its step i, so that chunk runs the other way.
            const std::ptrdiff_t last = static_cast<std::ptrdiff_t>(words(k) - 1);
            const std::ptrdiff_t top = forward ? at + last : at - last;
            if (forward) {
                code_chunk<-1>(k, top);
            } else {
                code_chunk<1>(k, top);
            }
            at = top;
            forward = !forward;
        }
    }

  private:
    uint16_t* model(std::size_t l, std::size_t k) const { return lanes_[l].models + k * entries_; }
    std::size_t begin(std::size_t k) const { return k == 0 ? 0 : first_ + (k - 1) * chunk_; }
    std::size_t size(std::size_t k) const { return k == 0 ? first_ : chunk_; }
    std::size_t words(std::size_t k) const { return kDecisionsPerByte * size(k); }

    // Lane l's walk over chunk k, adapting `model`, which holds the model at the chunk's start.
    ModelWalk<Lanes> walk(std::size_t l, std::size_t k, uint16_t* model) const {
        const std::size_t i = begin(k);
        const uint8_t* src = lanes_[l].src + i * Lanes;
        return {src, i ? src[-static_cast<std::ptrdiff_t>(Lanes)] : 0u, model, shift_};
    }

    // Adapts a fresh model over every chunk but the last, keeping a copy at each chunk start.
    KESTOVA_SCALAR_LOOP void model_pass() {
        for (std::size_t l = 0; l < Lanes; ++l) {
            std::fill_n(model(l, 0), entries_, uint16_t{kProbStart});
            for (std::size_t k = 0; k + 1 < chunks_; ++k) {
                std::copy_n(model(l, k), entries_, model(l, k + 1));
                ModelWalk<Lanes> w = walk(l, k, model(l, k + 1));
                for (std::size_t j = 0; j < size(k); ++j) {
                    w.start_byte();
                    for (uint32_t d = 0; d < kDecisionsPerByte; ++d) w.decide(d);
                }
            }
        }
    }

    // Records the last chunk's words in coding order from its model copy.
    KESTOVA_SCALAR_LOOP void record_last() {
        const std::size_t k = chunks_ - 1;
        for (std::size_t l = 0; l < Lanes; ++l) {
            ModelWalk<Lanes> w = walk(l, k, model(l, k));
            uint16_t* out = words_.span().data() + l;
            for (std::size_t j = 0; j < size(k); ++j) {
                w.start_byte();
                for (uint32_t d = 0; d < kDecisionsPerByte; ++d, out += Lanes) *out = w.decide(d);
            }
        }
    }

    // Codes chunk k backward, last word first, reading its words from place `top` on, Dir
    // places apart. Unless k is 0 it records chunk k - 1 (no longer than chunk k) in the same
    // loop, one word after each coded word and into its place: the two instruction streams
    // interleave finely, so the recording fills issue slots that the coding chains leave idle.
    template <std::ptrdiff_t Dir>
    KESTOVA_SCALAR_LOOP void code_chunk(std::size_t k, std::ptrdiff_t top) {
        const std::size_t recorded = k > 0 ? size(k - 1) : 0;
        Coder coder[Lanes];
        ModelWalk<Lanes> walks[Lanes];
        for (std::size_t l = 0; l < Lanes; ++l) {
            // At most one unit per decision.
            coder[l] = {lanes_[l].x, lanes_[l].units.reserve(words(k))};
            if (k > 0) walks[l] = walk(l, k - 1, model(l, k - 1));
        }
        constexpr std::ptrdiff_t kStride = Dir * static_cast<std::ptrdiff_t>(Lanes);
        uint16_t* at = words_.span().data() + top * static_cast<std::ptrdiff_t>(Lanes);
        std::size_t j = 0;
        for (; j < recorded; ++j) {
            for (auto& w : walks) w.start_byte();
#pragma GCC unroll 8
            for (uint32_t d = 0; d < kDecisionsPerByte; ++d, at += kStride) {
                for (std::size_t l = 0; l < Lanes; ++l) {
                    code_word(kSteps[at[l]], coder[l]);
                    at[l] = static_cast<uint16_t>(walks[l].decide(d));
                }
            }
        }
        for (; j < size(k); ++j) {
#pragma GCC unroll 8
            for (uint32_t d = 0; d < kDecisionsPerByte; ++d, at += kStride) {
                for (std::size_t l = 0; l < Lanes; ++l) code_word(kSteps[at[l]], coder[l]);
            }
        }
        for (std::size_t l = 0; l < Lanes; ++l) {
            lanes_[l].x = coder[l].x;
            lanes_[l].units.keep(coder[l].out);
        }
    }

    std::array<Lane, Lanes>& lanes_;
    const unsigned shift_;
    const std::size_t entries_;  // model entries per lane
    const std::size_t chunk_;
    const std::size_t chunks_;
    const std::size_t first_;  // bytes in chunk 0, 1..chunk_
    // Uninitialised: both are written before they are read. The model copies are fresh memory
    // touched once, so the huge pages offered for large buffers save most of their page faults.
    UninitBuffer<uint16_t> models_;  // per lane, one model table per chunk
    UninitBuffer<uint16_t> words_;   // the words of one chunk, the lanes' interleaved
};

}  // namespace

void encode_plane_pair(std::span<const uint8_t> pairs, unsigned s, std::vector<uint8_t>& out) {
    const std::size_t n = pairs.size() / 2;
    if (n == 0) return put_leb128(out, 0);  // two empty planes
    std::array<Lane, 2> lanes{Lane{pairs.data()}, Lane{pairs.data() + 1}};
    ChunkedEncoder<2>(lanes, n, s).run();
    put_leb128(out, lanes[0].coded_size());
    out.reserve(out.size() + lanes[0].coded_size() + lanes[1].coded_size() + 1);
    lanes[0].append_to(out);
    lanes[1].append_to(out);
}

}  // namespace detail

std::vector<uint8_t> encode_plane(std::span<const uint8_t> plane, unsigned s) {
    using namespace detail;
    if (plane.empty()) return {};
    std::array<Lane, 1> lanes{Lane{plane.data()}};
    ChunkedEncoder<1>(lanes, plane.size(), s).run();
    std::vector<uint8_t> out;
    out.reserve(lanes[0].coded_size());
    lanes[0].append_to(out);
    return out;
}

}  // namespace kestova::arans
