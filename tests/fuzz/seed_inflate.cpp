// Writes seed inputs for fuzz_inflate into the directory argv[1]: coefficient images deflated by
// zlib (dynamic, fixed and stored blocks) and by libdeflate, whole, cut short and with a smaller
// limit, each behind the mode and limit bytes that check_inflate reads.
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "codec/deflate.h"
#include "tests/fuzz/seed_output.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Little-endian int16 values drawn like quantised wavelet coefficients.
Bytes coefficient_bytes(std::size_t values, uint32_t seed) {
    std::mt19937 rng(seed);
    std::geometric_distribution<int> mag(0.3);
    Bytes out;
    for (std::size_t i = 0; i < values; ++i) {
        const int v = (rng() & 1) ? mag(rng) : -mag(rng);
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
    }
    return out;
}

Bytes zlib_deflate(const Bytes& in, int level, int strategy) {
    z_stream s{};
    deflateInit2(&s, level, Z_DEFLATED, -15, 8, strategy);
    Bytes out(deflateBound(&s, in.size()));
    s.next_in = const_cast<Bytef*>(in.data());
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// The input check_inflate reads: mode, little-endian limit, payload.
Bytes framed(uint8_t mode, uint16_t limit, const Bytes& payload) {
    Bytes out = {mode, static_cast<uint8_t>(limit & 0xFF), static_cast<uint8_t>(limit >> 8)};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const auto directory = kestova::fuzz::corpus_directory(argc, argv);
    if (!directory) return 2;
    const std::string& dir = *directory;
    const Bytes image = coefficient_bytes(1500, 9);
    Bytes fast;
    kestova::deflate_raw_fast(image, fast);
    const std::pair<const char*, Bytes> streams[] = {
        {"zlib", zlib_deflate(image, 6, Z_DEFAULT_STRATEGY)},
        {"fixed", zlib_deflate(image, 6, Z_FIXED)},
        {"stored", zlib_deflate(Bytes(image.begin(), image.begin() + 300), 0, Z_DEFAULT_STRATEGY)},
        {"libdeflate", fast}};
    for (const auto& [name, stream] : streams) {
        const std::string base = name;
        kestova::fuzz::write_seed(dir, base + "-exact", framed(1, 0, stream));
        kestova::fuzz::write_seed(dir, base + "-short-limit", framed(0, 1000, stream));
        kestova::fuzz::write_seed(
            dir, base + "-cut",
            framed(1, 0, Bytes(stream.begin(), stream.begin() + stream.size() / 2)));
    }
    // A fixed block with the unused length symbol 286, which only libdeflate reads.
    kestova::fuzz::write_seed(dir, "length-286", framed(0, 259, {75, 28, 3, 0}));
    return 0;
}
