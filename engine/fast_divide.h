// Signed 64-bit division by a divisor known only at run time, by multiplication with a
// precomputed magic number (round-up method; powers of two become shifts).
#pragma once

#include <cstdint>

namespace Undra {

class DividerI64 {
  public:
    // Prepares division by d; d must not be 0.
    explicit DividerI64(int64_t d) : divisor_(d), abs_divisor_(d < 0 ? -d : d) {
        const uint64_t abs_d = static_cast<uint64_t>(abs_divisor_);
        const uint32_t floor_log2 = 63 - static_cast<uint32_t>(__builtin_clzll(abs_d));
        if ((abs_d & (abs_d - 1)) == 0) {
            magic_ = 0;
            more_ = static_cast<uint8_t>(floor_log2 | (d < 0 ? kNegative : 0));
            return;
        }
        // 2^(63 + floor_log2) / |d|: the high word of the dividend is 2^(floor_log2 - 1).
        const U128 dividend = static_cast<U128>(uint64_t{1} << (floor_log2 - 1)) << 64;
        uint64_t m = static_cast<uint64_t>(dividend / abs_d);
        const uint64_t rem = static_cast<uint64_t>(dividend % abs_d);
        uint8_t more = 0;
        if (abs_d - rem < (uint64_t{1} << floor_log2)) {
            more = static_cast<uint8_t>(floor_log2 - 1);
        } else {
            // One more bit of precision; the quotient needs an add-back of the dividend.
            m += m;
            const uint64_t twice_rem = rem + rem;
            if (twice_rem >= abs_d || twice_rem < rem) m += 1;
            more = static_cast<uint8_t>(floor_log2 | kAdd);
        }
        m += 1;
        int64_t magic = static_cast<int64_t>(m);
        if (d < 0) {
            more |= kNegative;
            magic = -magic;
        }
        magic_ = magic;
        more_ = more;
    }

    // n / d rounded toward zero, as the built-in division.
    int64_t quotient(int64_t n) const {
        const uint32_t shift = more_ & kShiftMask;
        if (magic_ == 0) {
            const uint64_t mask = (uint64_t{1} << shift) - 1;
            const uint64_t biased =
                static_cast<uint64_t>(n) + (static_cast<uint64_t>(n >> 63) & mask);
            int64_t q = static_cast<int64_t>(biased) >> shift;
            const int64_t sign = static_cast<int8_t>(more_) >> 7;
            return (q ^ sign) - sign;
        }
        uint64_t uq = static_cast<uint64_t>(
            static_cast<I128>(static_cast<I128>(n) * static_cast<I128>(magic_)) >> 64);
        if (more_ & kAdd) {
            const int64_t sign = static_cast<int8_t>(more_) >> 7;
            uq += (static_cast<uint64_t>(n) ^ static_cast<uint64_t>(sign)) -
                  static_cast<uint64_t>(sign);
        }
        int64_t q = static_cast<int64_t>(uq) >> shift;
        q += (q < 0);
        return q;
    }

    // n mod |d| in the mathematical sense: the result lies in 0..|d|-1.
    int64_t modulo(int64_t n) const {
        const int64_t r = n - quotient(n) * divisor_;
        return r < 0 ? r + abs_divisor_ : r;
    }

    int64_t divisor() const { return divisor_; }

  private:
    __extension__ typedef __int128 I128;
    __extension__ typedef unsigned __int128 U128;
    static constexpr uint8_t kShiftMask = 0x3F;
    static constexpr uint8_t kAdd = 0x40;
    static constexpr uint8_t kNegative = 0x80;

    int64_t magic_;
    int64_t divisor_;
    int64_t abs_divisor_;
    uint8_t more_;
};

}  // namespace Undra
