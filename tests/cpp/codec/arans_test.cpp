#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "codec/arans/arans.h"
#include "codec/arans/model.h"
#include "codec/arans/plane_coder.h"

namespace kestova::arans {
namespace {

using Bytes = std::vector<uint8_t>;

// ---- literal reference: one (frequency, start) record per decision, divide in the coding pass --

// The decoder exactly as the refill loop reads; nullopt when the bytes run out.
std::optional<Bytes> reference_decode_plane(const Bytes& coded, std::size_t n, unsigned s) {
    if (n == 0) return Bytes{};
    if (coded.size() < 4) return std::nullopt;
    std::vector<uint16_t> model(std::size_t{256} << s, 2048);
    uint32_t x = coded[0] | coded[1] << 8 | coded[2] << 16 | uint32_t{coded[3]} << 24;
    std::size_t pos = 4;
    unsigned prev = 0;
    Bytes out;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned context = prev >> (8 - s);
        unsigned node = 1;
        for (int k = 0; k < 8; ++k) {
            uint16_t& p = model[context * 256 + node];
            const uint32_t slot = x & 4095;
            const unsigned b = slot >= p;
            const uint32_t freq = b ? 4096 - p : p, start = b ? p : 0;
            x = freq * (x >> 12) + slot - start;
            while (x < 65536) {
                if (pos + 2 > coded.size()) return std::nullopt;
                x = (x << 16) | coded[pos] | coded[pos + 1] << 8;
                pos += 2;
            }
            p = static_cast<uint16_t>(b ? p - (p >> 4) : p + ((4096 - p) >> 4));
            node = 2 * node + b;
        }
        out.push_back(static_cast<uint8_t>(node));
        prev = out.back();
    }
    return out;
}

Bytes reference_encode_plane(const Bytes& plane, unsigned s) {
    if (plane.empty()) return {};
    std::vector<uint16_t> model(std::size_t{256} << s, 2048);
    std::vector<std::pair<uint32_t, uint32_t>> pairs;
    unsigned prev = 0;
    for (const uint8_t t : plane) {
        const unsigned context = prev >> (8 - s);
        unsigned node = 1;
        for (int k = 0; k < 8; ++k) {
            const unsigned b = (t >> (7 - k)) & 1;
            uint16_t& p = model[context * 256 + node];
            pairs.push_back(b == 0 ? std::pair<uint32_t, uint32_t>{p, 0}
                                   : std::pair<uint32_t, uint32_t>{4096 - p, p});
            unsigned q = b == 0 ? p + ((4096 - p) >> 4) : p - (p >> 4);
            if (q == 0) q = 1;
            p = static_cast<uint16_t>(std::min(q, 4095u));
            node = 2 * node + b;
        }
        prev = t;
    }
    uint32_t x = 65536;
    Bytes out;
    for (auto it = pairs.rbegin(); it != pairs.rend(); ++it) {
        const auto [freq, start] = *it;
        while (x >= uint64_t{freq} << 20) {
            out.push_back(static_cast<uint8_t>(x >> 8));
            out.push_back(static_cast<uint8_t>(x));
            x >>= 16;
        }
        x = (x / freq) * 4096 + x % freq + start;
    }
    for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<uint8_t>(x >> shift));
    std::reverse(out.begin(), out.end());
    return out;
}

void reference_leb128(Bytes& out, uint64_t v) {
    do {
        out.push_back(static_cast<uint8_t>((v & 0x7F) | (v >= 0x80 ? 0x80 : 0)));
        v >>= 7;
    } while (v);
}

Bytes reference_encode_stream(const Bytes& in) {
    if (in.size() < 6) return in;
    const std::size_t p = in.size() / 2;
    const unsigned s = in.size() < 16384 ? 3 : 8;
    Bytes a(p), b(p);
    for (std::size_t i = 0; i < p; ++i) {
        a[i] = in[2 * i];
        b[i] = in[2 * i + 1];
    }
    const Bytes ca = reference_encode_plane(a, s), cb = reference_encode_plane(b, s);
    Bytes out{static_cast<uint8_t>(in.size() & 1), static_cast<uint8_t>(s)};
    reference_leb128(out, p);
    reference_leb128(out, ca.size());
    out.insert(out.end(), ca.begin(), ca.end());
    out.insert(out.end(), cb.begin(), cb.end());
    if (in.size() & 1) out.push_back(in.back());
    return out;
}

// ---- inputs ------------------------------------------------------------------------------------

// Bytes that look like a quantised coefficient image: mostly small signed values.
Bytes coefficient_like(std::size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::geometric_distribution<int> mag(0.3);
    Bytes out(n);
    for (std::size_t i = 0; i + 1 < n; i += 2) {
        int v = mag(rng);
        if (rng() % 64 == 0) v *= 300;
        if (rng() & 1) v = -v;
        out[i] = static_cast<uint8_t>(v);
        out[i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
    }
    if (n & 1) out.back() = static_cast<uint8_t>(rng());
    return out;
}

Bytes random_bytes(std::size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<uint8_t>(rng());
    return out;
}

// ---- plane coder -------------------------------------------------------------------------------

TEST(AransPlane, EmptyPlaneCodesToNothingAndDecodesFromNothing) {
    EXPECT_TRUE(encode_plane({}, 3).empty());
    const auto d = decode_plane({}, 0, 3);
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->empty());
}

TEST(AransPlane, SingleZeroByteWorkedExample) {
    const Bytes coded = encode_plane(Bytes{0}, 3);
    EXPECT_EQ(coded, (Bytes{0x00, 0x00, 0x00, 0x01}));
    const auto d = decode_plane(coded, 1, 3);
    ASSERT_TRUE(d);
    EXPECT_EQ(*d, Bytes{0});
}

class AransPlaneWidth : public ::testing::TestWithParam<unsigned> {};

TEST_P(AransPlaneWidth, MatchesReferenceAndRoundTrips) {
    const unsigned s = GetParam();
    for (const std::size_t n : {1, 2, 3, 7, 8, 15, 16, 17, 100, 1000, 5000}) {
        for (uint32_t seed = 0; seed < 3; ++seed) {
            const Bytes plane =
                seed == 0 ? random_bytes(n, n) : coefficient_like(n, seed * 977 + n);
            const Bytes coded = encode_plane(plane, s);
            ASSERT_EQ(coded, reference_encode_plane(plane, s)) << "n=" << n << " seed=" << seed;
            const auto d = decode_plane(coded, n, s);
            ASSERT_TRUE(d) << "n=" << n;
            EXPECT_EQ(*d, plane);
        }
    }
}

TEST_P(AransPlaneWidth, ExtremeRunsRoundTrip) {
    const unsigned s = GetParam();
    for (const uint8_t fill : {0x00, 0xFF, 0x55}) {
        const Bytes plane(3000, fill);
        const Bytes coded = encode_plane(plane, s);
        EXPECT_EQ(coded, reference_encode_plane(plane, s));
        EXPECT_EQ(decode_plane(coded, plane.size(), s).value(), plane);
    }
}

INSTANTIATE_TEST_SUITE_P(AllWidths, AransPlaneWidth, ::testing::Range(0u, 9u));

// The encoder codes a plane in chunks, last first, each from a copy of the model at its start:
// planes around whole numbers of chunks check that no decision is lost or doubled at a seam.
class AransPlaneChunks : public ::testing::TestWithParam<unsigned> {};

TEST_P(AransPlaneChunks, MatchReferenceAroundChunkSeams) {
    const unsigned s = GetParam();
    const std::size_t chunk = detail::encoder_chunk_bytes(s);
    for (const std::size_t n :
         {chunk - 1, chunk, chunk + 1, 2 * chunk + 7, 3 * chunk, 4 * chunk + 3}) {
        for (const bool random : {false, true}) {
            const auto seed = static_cast<uint32_t>(n + s);
            const Bytes plane = random ? random_bytes(n, seed) : coefficient_like(n, seed);
            const Bytes coded = encode_plane(plane, s);
            ASSERT_EQ(coded, reference_encode_plane(plane, s)) << "n=" << n;
            EXPECT_EQ(decode_plane(coded, n, s).value(), plane) << "n=" << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, AransPlaneChunks, ::testing::Values(0u, 3u, 8u));

// The encoder's coding table holds only the probabilities the model can reach: every value
// reachable from the start value by any sequence of updates must lie within that range. Both
// update tables agree with the update rule on all of them.
TEST(AransModel, UpdatesFromTheStartStayWithinTheReachedRange) {
    std::vector<bool> seen(detail::kProbOne, false);
    std::vector<uint32_t> open{detail::kProbStart};
    seen[detail::kProbStart] = true;
    while (!open.empty()) {
        const uint32_t p = open.back();
        open.pop_back();
        ASSERT_GE(p, detail::kProbReachedMin);
        ASSERT_LE(p, detail::kProbReachedMax);
        for (const uint32_t b : {0u, 1u}) {
            const uint32_t q = detail::updated(p, b);
            ASSERT_EQ(q, detail::kUpdated[p | b << 12]);
            ASSERT_EQ(q, detail::kUpdatedByBit[2 * p + b]);
            if (!seen[q]) {
                seen[q] = true;
                open.push_back(q);
            }
        }
    }
    EXPECT_TRUE(seen[detail::kProbReachedMin] && seen[detail::kProbReachedMax]);
}

TEST(AransPlane, ShortCodedPlaneIsTruncated) {
    for (std::size_t len = 0; len < 4; ++len) {
        EXPECT_EQ(decode_plane(Bytes(len, 0), 1, 3).error(), AransError::Truncated);
    }
}

TEST(AransPlane, CutShortFailsAndExtraBytesAreIgnored) {
    const Bytes plane = random_bytes(2000, 7);
    const Bytes coded = encode_plane(plane, 3);
    for (std::size_t cut = 2; cut <= 64; cut += 2) {
        const Bytes shorter(coded.begin(), coded.end() - cut);
        EXPECT_EQ(decode_plane(shorter, plane.size(), 3).error(), AransError::Truncated);
    }
    Bytes longer = coded;
    longer.insert(longer.end(), {1, 2, 3, 4, 5});
    EXPECT_EQ(decode_plane(longer, plane.size(), 3).value(), plane);
}

TEST(AransPlane, OversizedCountRunsOutOfBytes) {
    const Bytes coded = encode_plane(random_bytes(100, 3), 3);
    EXPECT_EQ(decode_plane(coded, 1u << 20, 3).error(), AransError::Truncated);
}

TEST(AransPlane, UnreservableCountIsInvalidLength) {
    const Bytes coded = encode_plane(random_bytes(100, 3), 3);
    EXPECT_EQ(decode_plane(coded, SIZE_MAX, 3).error(), AransError::InvalidLength);
}

TEST(AransPlane, CorruptPlanesDecodeLikeTheLiteralDecoder) {
    // Forged states below 2^16 need several refills; garbage must give the literal result.
    std::mt19937 rng(99);
    for (int iter = 0; iter < 3000; ++iter) {
        Bytes coded = random_bytes(rng() % 400, rng());
        if (iter % 3 == 0 && coded.size() >= 4) coded[2] = coded[3] = 0;
        if (iter % 5 == 0)
            std::fill(coded.begin(),
                      coded.begin() + std::min<std::size_t>(coded.size(), 3 + iter % 7), 0);
        const std::size_t n = rng() % 300;
        const unsigned s = rng() % 9;
        const auto got = decode_plane(coded, n, s);
        const auto want = reference_decode_plane(coded, n, s);
        ASSERT_EQ(got.has_value(), want.has_value()) << iter;
        if (got) {
            EXPECT_EQ(*got, *want);
        }
    }
}

TEST(AransStream, CorruptPlanesDecodeLikeTheLiteralDecoder) {
    // Every tenth stream is long enough for the decoder to take runs of bytes without bound
    // checks before it reaches the checked ends of its planes.
    std::mt19937 rng(17);
    for (int iter = 0; iter < 2000; ++iter) {
        const std::size_t scale = iter % 10 == 0 ? 20 : 1;
        const std::size_t n = rng() % (200 * scale);
        const unsigned s = rng() % 9;
        Bytes a = random_bytes(rng() % (300 * scale), rng());
        Bytes b = random_bytes(1 + rng() % (300 * scale), rng());
        if (iter % 2 && a.size() >= 4) a[3] = a[2] = 0;
        if (iter % 3 && b.size() >= 4) b[3] = 0;
        Bytes stream{static_cast<uint8_t>(iter & 1), static_cast<uint8_t>(s)};
        reference_leb128(stream, n);
        reference_leb128(stream, a.size());
        stream.insert(stream.end(), a.begin(), a.end());
        stream.insert(stream.end(), b.begin(), b.end());
        if (iter & 1) b.pop_back();
        if (stream.size() < 6) continue;  // stored verbatim
        const auto ra = reference_decode_plane(a, n, s), rb = reference_decode_plane(b, n, s);
        const auto got = decode_stream(stream);
        ASSERT_EQ(got.has_value(), ra && rb) << iter;
        if (!got) {
            EXPECT_EQ(got.error(), AransError::Truncated);
            continue;
        }
        Bytes want;
        for (std::size_t i = 0; i < n; ++i) want.insert(want.end(), {(*ra)[i], (*rb)[i]});
        if (iter & 1) want.push_back(stream.back());
        EXPECT_EQ(*got, want) << iter;
    }
}

// ---- stream framing ----------------------------------------------------------------------------

class AransStreamLength : public ::testing::TestWithParam<std::size_t> {};

TEST_P(AransStreamLength, MatchesReferenceAndRoundTrips) {
    const std::size_t n = GetParam();
    for (uint32_t seed = 0; seed < 2; ++seed) {
        const Bytes in = seed == 0 ? coefficient_like(n, 11 + n) : random_bytes(n, 5 + n);
        const Bytes stream = encode_stream(in);
        ASSERT_EQ(stream, reference_encode_stream(in)) << "n=" << n;
        const auto out = decode_stream(stream);
        ASSERT_TRUE(out);
        EXPECT_EQ(*out, in);
    }
}

INSTANTIATE_TEST_SUITE_P(Boundaries, AransStreamLength,
                         ::testing::Values(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 31, 32, 33, 256, 257,
                                           16382, 16383, 16384, 16385, 40000, 40001, 131072,
                                           300001));

TEST(AransStream, ShortInputsAreVerbatim) {
    for (std::size_t n = 0; n < 6; ++n) {
        const Bytes in = random_bytes(n, 1);
        EXPECT_EQ(encode_stream(in), in);
        EXPECT_EQ(decode_stream(in).value(), in);
    }
}

TEST(AransStream, FramingFields) {
    const Bytes six = encode_stream(Bytes(6, 9));
    EXPECT_EQ(Bytes(six.begin(), six.begin() + 3), (Bytes{0x00, 0x03, 0x03}));
    const Bytes seven{1, 2, 3, 4, 5, 6, 0xAB};
    const Bytes s7 = encode_stream(seven);
    EXPECT_EQ(Bytes(s7.begin(), s7.begin() + 3), (Bytes{0x01, 0x03, 0x03}));
    EXPECT_EQ(s7.back(), 0xAB);
    const Bytes s256 = encode_stream(Bytes(256, 1));
    EXPECT_EQ(Bytes(s256.begin() + 2, s256.begin() + 4), (Bytes{0x80, 0x01}));
    EXPECT_EQ(encode_stream(Bytes(16383, 1))[1], 3);
    EXPECT_EQ(encode_stream(Bytes(16384, 1))[1], 8);
}

TEST(AransStream, AnyWidthAndSplitThatDecodesIsAccepted) {
    const Bytes in = coefficient_like(600, 4);
    for (unsigned s = 0; s <= 8; ++s) {
        std::vector<uint8_t> a, b;
        for (std::size_t i = 0; i < in.size(); i += 2) {
            a.push_back(in[i]);
            b.push_back(in[i + 1]);
        }
        const Bytes ca = encode_plane(a, s), cb = encode_plane(b, s);
        Bytes stream{0, static_cast<uint8_t>(s)};
        reference_leb128(stream, a.size());
        reference_leb128(stream, ca.size());
        stream.insert(stream.end(), ca.begin(), ca.end());
        stream.insert(stream.end(), cb.begin(), cb.end());
        EXPECT_EQ(decode_stream(stream).value(), in) << "s=" << s;
        stream[0] = 0xFE;  // only bit 0 of the flags counts
        EXPECT_EQ(decode_stream(stream).value(), in);
    }
}

TEST(AransStream, ZeroPairsYieldEmptyOrTrailingByte) {
    EXPECT_EQ(decode_stream(Bytes{0, 3, 0, 0, 7, 7}).value(), Bytes{});
    EXPECT_EQ(decode_stream(Bytes{1, 3, 0, 0, 7, 7, 0x42}).value(), Bytes{0x42});
}

TEST(AransStream, OddFlagAppendsLastByte) {
    Bytes stream = encode_stream(Bytes(10, 4));
    stream[0] = 1;
    stream.push_back(0x99);
    const Bytes out = decode_stream(stream).value();
    EXPECT_EQ(out.size(), 11u);
    EXPECT_EQ(out.back(), 0x99);
}

struct StreamError {
    const char* name;
    Bytes stream;
    AransError error;
};

class AransStreamError : public ::testing::TestWithParam<StreamError> {};

TEST_P(AransStreamError, ReportsFirstFailingCheck) {
    const auto out = decode_stream(GetParam().stream);
    ASSERT_FALSE(out);
    EXPECT_EQ(out.error(), GetParam().error);
}

const Bytes kTenFF(9, 0xFF);
Bytes with(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

INSTANTIATE_TEST_SUITE_P(
    InOrder, AransStreamError,
    ::testing::Values(
        // width above 8 wins over a broken pair count
        StreamError{"Width9", {0, 9, 0xFF, 0xFF, 0xFF, 0xFF}, AransError::InvalidLength},
        StreamError{"PairCountTruncated", {0, 3, 0xFF, 0xFF, 0xFF, 0xFF}, AransError::Truncated},
        StreamError{"PairCountTenthByteContinues", with({0, 3}, with(kTenFF, {0x81})),
                    AransError::InvalidLength},
        // 2^28 + 1 pairs: refused before looking at anything else
        StreamError{
            "PairCountTooLarge", {0, 3, 0x81, 0x80, 0x80, 0x80, 0x01}, AransError::InvalidLength},
        StreamError{"PlaneLengthTruncated", {0, 3, 0x01, 0x80, 0x80, 0x80}, AransError::Truncated},
        // plane A length with bit 63 set: start + length overflows
        StreamError{"PlaneLengthOverflows", with({0, 3, 0x01}, with(kTenFF, {0x01})),
                    AransError::InvalidLength},
        StreamError{"PlaneAPastEnd", {0, 3, 0x01, 0x05, 0, 0, 0, 1}, AransError::Truncated},
        // the trailing byte is not part of plane A's room
        StreamError{
            "PlaneAIntoTrailingByte", {1, 3, 0x01, 0x04, 0, 0, 0, 1}, AransError::Truncated},
        StreamError{"PlaneATooShort", {0, 3, 0x01, 0x02, 0, 0, 0, 0, 0, 1}, AransError::Truncated},
        StreamError{"PlaneBTooShort", {0, 3, 0x01, 0x04, 0, 0, 0, 1, 0, 0}, AransError::Truncated}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AransStream, TruncatedStreamsFailAndExtendedOnesMayNot) {
    const Bytes in = coefficient_like(4000, 9);
    const Bytes stream = encode_stream(in);
    for (std::size_t cut = 1; cut < stream.size(); cut += 7) {
        const Bytes shorter(stream.begin(), stream.end() - cut);
        const auto out = decode_stream(shorter);
        if (out) {
            EXPECT_NE(*out, in);  // losing only plane B's last units may still decode
        }
    }
    Bytes longer = stream;
    longer.insert(longer.end(), 6, 0x5A);  // appended bytes land in plane B, which ignores them
    EXPECT_EQ(decode_stream(longer).value(), in);
}

TEST(AransStream, ErrorTexts) {
    EXPECT_EQ(to_string(AransError::Truncated), "Stream truncated");
    EXPECT_EQ(to_string(AransError::InvalidLength), "Inconsistent or oversized length in stream");
}

// ---- LEB128 ------------------------------------------------------------------------------------

struct LebCase {
    Bytes bytes;
    uint64_t value;
    std::size_t end;
};

class AransLeb128 : public ::testing::TestWithParam<LebCase> {};

TEST_P(AransLeb128, ReadsValueAndAdvances) {
    std::size_t pos = 1;
    const Bytes stream = with({0xEE}, GetParam().bytes);
    const auto v = rv(stream, pos);
    ASSERT_TRUE(v);
    EXPECT_EQ(*v, GetParam().value);
    EXPECT_EQ(pos, GetParam().end + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Values, AransLeb128,
    ::testing::Values(LebCase{{0x00}, 0, 1}, LebCase{{0x7F, 0x55}, 127, 1},
                      LebCase{{0x80, 0x01}, 128, 2}, LebCase{{0xFF, 0x7F}, 16383, 2},
                      LebCase{{0x80, 0x80, 0x80, 0x80, 0x01}, uint64_t{1} << 28, 5},
                      LebCase{{0x80, 0x00}, 0, 2},  // non-shortest forms are read too
                      LebCase{with(Bytes(9, 0x80), {0x01}), uint64_t{1} << 63, 10},
                      LebCase{with(Bytes(9, 0xFF), {0x7F}), UINT64_MAX, 10}));

TEST(AransLeb128Errors, TruncatedAndOverlong) {
    std::size_t pos = 0;
    EXPECT_EQ(rv(Bytes{}, pos).error(), AransError::Truncated);
    pos = 0;
    EXPECT_EQ(rv(Bytes{0x80, 0x80}, pos).error(), AransError::Truncated);
    pos = 0;
    EXPECT_EQ(rv(with(Bytes(9, 0x80), {0x81}), pos).error(), AransError::InvalidLength);
    pos = 0;
    EXPECT_EQ(rv(Bytes(9, 0x80), pos).error(), AransError::Truncated);
}

TEST(AransStream, RandomInputsMatchReference) {
    std::mt19937 rng(1234);
    for (int iter = 0; iter < 200; ++iter) {
        const std::size_t n = rng() % 3000;
        const Bytes in = iter % 2 ? random_bytes(n, rng()) : coefficient_like(n, rng());
        const Bytes stream = encode_stream(in);
        ASSERT_EQ(stream, reference_encode_stream(in)) << "n=" << n;
        ASSERT_EQ(decode_stream(stream).value(), in);
    }
}

}  // namespace
}  // namespace kestova::arans
