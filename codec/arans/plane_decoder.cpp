// Range-ANS plane decoder. Each byte is decoded either on a fast path, taken while at least 16
// coded bytes remain (a byte needs at most eight 16-bit units) and the state is normalised, where
// every decision refills from an unconditional in-bounds read; or on a checked path
// that follows the refill loop literally and stops at the end of the coded plane. Output memory is
// reserved once and touched only as bytes are decoded; the stream decoder reserves no more than
// the coded bytes can yield, so a forged pair count makes it neither reserve nor fill memory it
// will not use.
#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>

#include "codec/arans/arans.h"
#include "codec/arans/model.h"
#include "codec/arans/plane_coder.h"

namespace kestova::arans {

namespace detail {
namespace {

// Bytes decoded between growths of the (already reserved) output.
constexpr std::size_t kChunk = std::size_t{1} << 15;

// A decision takes at least log2(4096 / 4081) > 0.0049 bits of state (the model never leaves
// 15..4081) and a coded byte supplies 8 bits, so one coded byte yields fewer than 205 bytes.
constexpr std::size_t kMaxBytesPerCodedByte = 256;

// Output bytes worth reserving for n bytes decoded from `coded`: n for every real plane, less
// for a forged length, whose output then grows only as far as it actually decodes.
std::size_t reservation(std::size_t n, std::span<const uint8_t> coded) {
    return std::min(n, kMaxBytesPerCodedByte * coded.size());
}

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
    e = kUpdatedByBit[2 * p + bit];
    return bit;
}

// One decision followed by at most one refill from `in`, which must have 2 readable bytes. The
// refilled state is formed from an unconditional read. GCC branches on the refill test, and that
// measured faster than a forced select: refills are rare enough to be mostly predicted, and a
// predicted branch keeps the test off the chain from one state to the next.
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
    bool can_fast() const { return fast_bytes() > 0; }

    // How many bytes may take the fast path one after another: x is normalised (and stays so
    // after every fast byte) and a byte takes at most 16 coded bytes.
    std::size_t fast_bytes() const {
        return x >= kStateLow ? static_cast<std::size_t>(end - in) / 16 : 0;
    }

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

// One decision of a fast lane whose probability p is already loaded. The entries of both
// children are fetched with one load before the bit is known and the next p is picked from them,
// which takes the table's load latency off the chain between decisions.
inline void lane_decide(uint16_t* ctx, unsigned& node, uint32_t& p, uint32_t& x,
                        const uint8_t*& in) {
    static_assert(std::endian::native == std::endian::little);
    uint32_t children = 0;
    std::memcpy(&children, ctx + 2 * node, sizeof children);
    uint16_t entry = static_cast<uint16_t>(p);
    const uint32_t bit = decide_fast(entry, x, in);
    ctx[node] = entry;
    node = 2 * node + bit;
    p = (children >> (bit << 4)) & 0xFFFF;
}

// The last decision of a byte in a fast lane, whose node holds the byte's seven leading bits. The
// next byte's context is the current byte's, which is one of two until this bit is known: the
// entries of both are fetched before the bit, and the next context and its first probability
// are picked after it, so no table load waits between bytes.
inline void lane_last(uint16_t*& ctx, unsigned node, uint32_t& p, uint32_t& x, const uint8_t*& in,
                      uint16_t* table, unsigned shift, uint8_t& out) {
    const unsigned low = (2 * node) & 0xFF;  // the byte if this bit is 0
    uint16_t* next_if_zero = table + ((low >> shift) << 8);
    uint16_t* next_if_one = table + (((low | 1) >> shift) << 8);
    const uint32_t p_if_zero = next_if_zero[1];
    const uint32_t p_if_one = next_if_one[1];
    uint16_t entry = static_cast<uint16_t>(p);
    const uint32_t bit = decide_fast(entry, x, in);
    ctx[node] = entry;
    out = static_cast<uint8_t>(low | bit);
    ctx = bit ? next_if_one : next_if_zero;
    p = bit ? p_if_one : p_if_zero;
}

// Decodes `count` bytes from each of two planes with their decisions interleaved, into `out` as
// pairs. Both planes must have x normalised and at least 16 * count coded bytes left (a byte
// takes at most eight 16-bit units). The states live in locals so that they stay in registers.
void pair_run(PlaneDecoder& a, PlaneDecoder& b, uint8_t* out, std::size_t count) {
    uint16_t* ca = a.context();
    uint16_t* cb = b.context();
    uint32_t xa = a.x;
    uint32_t xb = b.x;
    uint32_t pa = ca[1];
    uint32_t pb = cb[1];
    const uint8_t* ia = a.in;
    const uint8_t* ib = b.in;
    for (uint8_t* const end = out + 2 * count; out != end; out += 2) {
        unsigned na = 1;
        unsigned nb = 1;
#pragma GCC unroll 7
        for (uint32_t k = 0; k + 1 < kDecisionsPerByte; ++k) {
            lane_decide(ca, na, pa, xa, ia);
            lane_decide(cb, nb, pb, xb, ib);
        }
        lane_last(ca, na, pa, xa, ia, a.table.data(), a.shift, out[0]);
        lane_last(cb, nb, pb, xb, ib, b.table.data(), b.shift, out[1]);
    }
    a.x = xa;
    b.x = xb;
    a.in = ia;
    b.in = ib;
    a.prev = out[-2];
    b.prev = out[-1];
}

// Interleaves two decoded planes and appends `tail`; InvalidLength when memory is refused.
AransResult<std::vector<uint8_t>> interleave(const std::vector<uint8_t>& a,
                                             const std::vector<uint8_t>& b,
                                             std::span<const uint8_t> tail) {
    try {
        std::vector<uint8_t> out(2 * a.size() + tail.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            out[2 * i] = a[i];
            out[2 * i + 1] = b[i];
        }
        std::ranges::copy(tail, out.begin() + 2 * a.size());
        return out;
    } catch (const std::bad_alloc&) {
        return std::unexpected(AransError::InvalidLength);
    }
}

// Decodes both planes in one loop into `out`, whose capacity already holds 2n + tail bytes.
AransResult<std::vector<uint8_t>> decode_fused(std::vector<uint8_t>& out,
                                               std::span<const uint8_t> coded_a,
                                               std::span<const uint8_t> coded_b, std::size_t n,
                                               unsigned s, std::span<const uint8_t> tail) {
    PlaneDecoder a(coded_a, s);
    PlaneDecoder b(coded_b, s);
    for (std::size_t i = 0; i < n;) {
        const std::size_t end = std::min(n, i + kChunk);
        out.resize(2 * end);  // within the reservation unless the length was forged
        uint8_t* o = out.data();
        while (i < end) {
            const std::size_t run = std::min({end - i, a.fast_bytes(), b.fast_bytes()});
            if (run > 0) {
                pair_run(a, b, o + 2 * i, run);
                i += run;
            } else if (a.byte_checked(o[2 * i]) && b.byte_checked(o[2 * i + 1])) {
                ++i;
            } else {
                return std::unexpected(AransError::Truncated);
            }
        }
    }
    out.insert(out.end(), tail.begin(), tail.end());
    return std::move(out);
}

}  // namespace

AransResult<std::vector<uint8_t>> decode_plane_pair(std::span<const uint8_t> coded_a,
                                                    std::span<const uint8_t> coded_b, std::size_t n,
                                                    unsigned s, std::span<const uint8_t> tail) {
    if (n > 0 && coded_a.size() >= 4 && coded_b.size() >= 4) {
        try {
            std::vector<uint8_t> out;
            out.reserve(2 * std::min(reservation(n, coded_a), reservation(n, coded_b)) +
                        tail.size());
            return decode_fused(out, coded_a, coded_b, n, s, tail);
        } catch (const std::bad_alloc&) {
            // Fall through: the plane-by-plane order decides which error is reported.
        }
    }
    auto a = decode_plane(coded_a, n, s);
    if (!a) return std::unexpected(a.error());
    auto b = decode_plane(coded_b, n, s);
    if (!b) return std::unexpected(b.error());
    return interleave(*a, *b, tail);
}

}  // namespace detail

AransResult<std::vector<uint8_t>> decode_plane(std::span<const uint8_t> coded, std::size_t n,
                                               unsigned s) {
    using namespace detail;
    if (n == 0) return std::vector<uint8_t>{};
    if (coded.size() < 4) return std::unexpected(AransError::Truncated);
    try {
        std::vector<uint8_t> out;
        out.reserve(std::max<std::size_t>(n, 8));
        PlaneDecoder d(coded, s);
        for (std::size_t i = 0; i < n;) {
            const std::size_t end = std::min(n, i + kChunk);
            out.resize(end);  // within the reservation: never reallocates
            for (; i < end; ++i) {
                if (d.can_fast()) {
                    out[i] = d.byte_fast();
                } else if (!d.byte_checked(out[i])) {
                    return std::unexpected(AransError::Truncated);
                }
            }
        }
        return out;
    } catch (const std::bad_alloc&) {
        return std::unexpected(AransError::InvalidLength);
    } catch (const std::length_error&) {
        return std::unexpected(AransError::InvalidLength);
    }
}

}  // namespace kestova::arans
