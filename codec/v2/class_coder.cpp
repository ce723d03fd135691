#include "codec/v2/class_coder.h"

#include <algorithm>
#include <array>
#include <bit>

namespace kestova::v2 {

namespace {

constexpr int kClasses = 33;
constexpr int kContexts = 13;
constexpr uint32_t kIncrement = 24;
constexpr uint32_t kTotalLimit = 1u << 16;
constexpr uint32_t kTop = 1u << 24;  // range is renormalised to stay at or above it

// Adaptive frequencies of the classes, one row per context.
class ClassModel {
  public:
    ClassModel() {
        for (auto& row : freq_) row.fill(1);
        total_.fill(kClasses);
        reciprocal_.fill(reciprocal_of(kClasses));
    }
    uint32_t total(int context) const { return total_[context]; }
    // ceil(2^64 / total): range / total is then the high half of range x this (exact, below).
    uint64_t reciprocal(int context) const { return reciprocal_[context]; }
    uint32_t freq(int context, int c) const { return freq_[context][c]; }
    uint32_t start(int context, int c) const {
        uint32_t sum = 0;
        for (int s = 0; s < c; ++s) sum += freq_[context][s];
        return sum;
    }
    // The class whose slots hold the decoder's code (begun with this context's total), and the
    // start of its slots: a multiply and compare per class tried instead of a division.
    template <typename Decoder>
    int find(int context, const Decoder& coder, uint32_t& start) const {
        const auto& row = freq_[context];
        uint32_t sum = 0;
        int c = 0;
        while (!coder.below(sum + row[c])) sum += row[c++];  // begin() bounds c below kClasses
        start = sum;
        return c;
    }
    void update(int context, int c) {
        auto& row = freq_[context];
        row[c] += kIncrement;
        total_[context] += kIncrement;
        if (total_[context] + kIncrement > kTotalLimit) {
            uint32_t sum = 0;
            for (auto& f : row) sum += (f = (f + 1) / 2);
            total_[context] = sum;
        }
        reciprocal_[context] = reciprocal_of(total_[context]);
    }

  private:
    // With m = ceil(2^64 / t) = t x m - 2^64 + e, 0 <= e < t: range x m / 2^64 = range / t +
    // range x e / (t x 2^64), and range x e < 2^32 x 2^16 <= 2^64, so the extra is below 1 / t and
    // cannot reach the next whole number: the high half is exactly floor(range / t). Computing m
    // does not lie on the coder's chain of dependent steps; the division it replaces did.
    static uint64_t reciprocal_of(uint32_t total) { return ~uint64_t{0} / total + 1; }

    std::array<std::array<uint32_t, kClasses>, kContexts> freq_;
    std::array<uint32_t, kContexts> total_;
    std::array<uint64_t, kContexts> reciprocal_;
};

__extension__ using Wide = unsigned __int128;  // GCC and Clang; the high half of a 64 x 64 product

// floor(range / t) from the model's reciprocal of t.
uint32_t divide(uint32_t range, uint64_t reciprocal) {
    return static_cast<uint32_t>((static_cast<Wide>(range) * reciprocal) >> 64);
}

// Adaptive probabilities (12 bits) that a residual is positive, by the sign of the last nonzero
// residual (none, positive, negative) and the residual's class.
class SignModel {
  public:
    SignModel() { p_.fill(kHalf); }
    uint32_t& at(int last_sign, int c) { return p_[last_sign * kClasses + c]; }
    static void update(uint32_t& p, bool negative) {
        if (negative) {
            p -= p >> kRate;
        } else {
            p += (kOne - p) >> kRate;
        }
        p = std::clamp(p, kFloor, kOne - kFloor);
    }
    static constexpr int kBits = 12;
    static constexpr uint32_t kOne = 1u << kBits;

  private:
    static constexpr uint32_t kHalf = kOne / 2;
    static constexpr uint32_t kFloor = 32;
    static constexpr int kRate = 5;
    std::array<uint32_t, 3 * kClasses> p_;
};

int context_of(int previous_class) {
    return std::min(previous_class, kContexts - 1);
}

int class_of(uint64_t magnitude) {
    return static_cast<int>(std::bit_width(magnitude));
}

// A carry-propagating range coder: low is 33 bits wide, bytes wait in `cache` (and a run of
// `pending` 0xFF bytes) until a carry can no longer reach them.
class RangeEncoder {
  public:
    explicit RangeEncoder(std::vector<uint8_t>& out) : out_(out) {}
    void encode(uint32_t start, uint32_t freq, uint32_t total) {
        encode_with(start, freq, range_ / total);
    }
    // Codes slots [start, start + freq) given r = range / total.
    void encode_with(uint32_t start, uint32_t freq, uint32_t r) {
        low_ += uint64_t{start} * r;
        range_ = freq * r;
        normalize();
    }
    void encode_bits(uint32_t value, int bits) {  // bits <= 16
        range_ >>= bits;
        low_ += uint64_t{value} * range_;
        normalize();
    }
    void finish() {
        for (int i = 0; i < 5; ++i) shift_low();
    }
    uint32_t range() const { return range_; }

  private:
    void normalize() {
        while (range_ < kTop) {
            range_ <<= 8;
            shift_low();
        }
    }
    void shift_low() {
        if (low_ < 0xFF000000u || low_ >= (uint64_t{1} << 32)) {
            const auto carry = static_cast<uint8_t>(low_ >> 32);
            if (started_) out_.push_back(static_cast<uint8_t>(cache_ + carry));
            for (; pending_ > 0; --pending_) out_.push_back(static_cast<uint8_t>(0xFF + carry));
            cache_ = static_cast<uint8_t>(low_ >> 24);
            started_ = true;
        } else {
            ++pending_;
        }
        low_ = (low_ & 0x00FFFFFFu) << 8;
    }

    std::vector<uint8_t>& out_;
    uint64_t low_ = 0;
    uint32_t range_ = 0xFFFFFFFFu;
    uint8_t cache_ = 0;
    bool started_ = false;  // the first cached byte is always 0 and is not written
    std::size_t pending_ = 0;
};

// Reads what RangeEncoder writes. Past the end of its bytes it reads zeros and counts them;
// a block is whole when every byte was read and no more than the encoder's flush skipped.
class RangeDecoder {
  public:
    explicit RangeDecoder(std::span<const uint8_t> in) : in_(in) {
        for (int i = 0; i < 4; ++i) code_ = (code_ << 8) | next();
    }
    // Begins a symbol of `total` slots (or of 2^bits, without a division); false when the code
    // lies past every slot. Slot v holds the code when below(v) is false and below(v + 1) true.
    bool begin(uint32_t total, uint64_t reciprocal) {
        r_ = divide(range_, reciprocal);
        return code_ < total * r_;
    }
    bool begin_bits(int bits) {
        r_ = range_ >> bits;
        return code_ < (r_ << bits);
    }
    // Whether the code lies below slot `slot` (slot <= the total begun, so no product overflows).
    bool below(uint32_t slot) const { return code_ < slot * r_; }
    void consume(uint32_t start, uint32_t freq) {
        code_ -= start * r_;
        range_ = freq * r_;
        normalize();
    }
    bool decode_bits(int bits, uint32_t& value) {
        range_ >>= bits;
        value = code_ / range_;
        if (value >> bits) return false;
        code_ -= value * range_;
        normalize();
        return true;
    }
    bool whole() const { return position_ == in_.size() && overrun_ == 0; }

  private:
    uint32_t next() {
        if (position_ < in_.size()) return in_[position_++];
        ++overrun_;
        return 0;
    }
    void normalize() {
        while (range_ < kTop) {
            range_ <<= 8;
            code_ = (code_ << 8) | next();
        }
    }

    std::span<const uint8_t> in_;
    std::size_t position_ = 0;
    std::size_t overrun_ = 0;
    uint32_t code_ = 0;
    uint32_t range_ = 0xFFFFFFFFu;
    uint32_t r_ = 1;
};

}  // namespace

void encode_block(std::span<const int64_t> residuals, std::vector<uint8_t>& out) {
    ClassModel model;
    SignModel signs;
    RangeEncoder coder(out);
    int previous = 0;
    int last_sign = 0;
    for (const int64_t r : residuals) {
        const uint64_t magnitude = r < 0 ? uint64_t(0) - uint64_t(r) : uint64_t(r);
        const int c = class_of(magnitude);
        const int context = context_of(previous);
        coder.encode_with(model.start(context, c), model.freq(context, c),
                          divide(coder.range(), model.reciprocal(context)));
        model.update(context, c);
        if (c > 0) {
            uint32_t& p = signs.at(last_sign, c);
            const bool negative = r < 0;
            if (negative) {
                coder.encode(p, SignModel::kOne - p, SignModel::kOne);
            } else {
                coder.encode(0, p, SignModel::kOne);
            }
            SignModel::update(p, negative);
            last_sign = negative ? 2 : 1;
            for (int left = c - 1; left > 0;) {
                const int bits = std::min(left, 16);
                left -= bits;
                coder.encode_bits(static_cast<uint32_t>(magnitude >> left) & ((1u << bits) - 1),
                                  bits);
            }
        }
        previous = c;
    }
    coder.finish();
}

bool decode_block(std::span<const uint8_t> block, std::span<int64_t> residuals) {
    ClassModel model;
    SignModel signs;
    RangeDecoder coder(block);
    int previous = 0;
    int last_sign = 0;
    for (int64_t& r : residuals) {
        const int context = context_of(previous);
        if (!coder.begin(model.total(context), model.reciprocal(context))) return false;
        uint32_t start = 0;
        const int c = model.find(context, coder, start);
        coder.consume(start, model.freq(context, c));
        model.update(context, c);
        uint64_t magnitude = 0;
        if (c > 0) {
            uint32_t& p = signs.at(last_sign, c);
            if (!coder.begin_bits(SignModel::kBits)) return false;
            const bool negative = !coder.below(p);
            if (negative) {
                coder.consume(p, SignModel::kOne - p);
            } else {
                coder.consume(0, p);
            }
            SignModel::update(p, negative);
            last_sign = negative ? 2 : 1;
            magnitude = 1;
            for (int left = c - 1; left > 0;) {
                const int bits = std::min(left, 16);
                left -= bits;
                uint32_t part = 0;
                if (!coder.decode_bits(bits, part)) return false;
                magnitude = (magnitude << bits) | part;
            }
            r = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
        } else {
            r = 0;
        }
        previous = c;
    }
    return coder.whole();
}

}  // namespace kestova::v2
