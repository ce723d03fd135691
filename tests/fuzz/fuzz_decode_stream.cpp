// Decodes arbitrary bytes as a range-ANS stream (must not fault; a success must be a consistent
// image) and checks that the input bytes themselves survive an encode/decode round trip.
// Streams claiming between 2^20 and 2^28 pairs are legal but only cost time (the sanitizer
// poisons the whole reservation), so they are skipped to keep the run fast.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "codec/arans/arans.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace kestova::arans;
    const std::span<const uint8_t> input(data, size);

    std::size_t pos = 2;
    const auto pairs = size >= 6 ? rv(input, pos) : AransResult<uint64_t>(0);
    if (!pairs || *pairs <= (uint64_t{1} << 20) || *pairs > MAX_PAIR_COUNT) {
        const auto decoded = decode_stream(input);
        if (decoded && size < 6 && *decoded != std::vector<uint8_t>(data, data + size)) {
            std::abort();
        }
        if (decoded && size >= 6 && decoded->size() != 2 * *pairs + (data[0] & 1)) std::abort();
    }

    const std::vector<uint8_t> stream = encode_stream(input);
    const auto back = decode_stream(stream);
    if (!back || *back != std::vector<uint8_t>(data, data + size)) std::abort();

    // Every width must round-trip a plane of the input bytes.
    const unsigned s = size == 0 ? 0 : data[0] % 9;
    const auto plane = decode_plane(encode_plane(input, s), size, s);
    if (!plane || *plane != std::vector<uint8_t>(data, data + size)) std::abort();
    return 0;
}
