// Feeds arbitrary chunks to the HDF5 filter's reading path: byte 0 picks the element type, bytes
// 1 to 4 the chunk's element count (little-endian), the rest is the stored chunk. The size check
// must refuse or size the chunk exactly, and decoding must fill it or fail with a message, never
// crash, read out of bounds or allocate beyond one chunk.
#pragma once

#include <cstring>
#include <vector>

#include "hdf5_filter/chunk_codec.h"
#include "tests/fuzz/fuzz_check.h"

namespace kestova::fuzz {

inline CheckResult check_hdf5_chunk(Input data) {
    if (data.size() < 5) return {};
    const auto type = static_cast<hdf5::ElementType>(data[0] % 8);
    uint32_t elements = 0;
    std::memcpy(&elements, data.data() + 1, sizeof(elements));
    const Input container = data.subspan(5);
    const auto size = hdf5::decoded_size(container, type, elements);
    if (!size) {
        if (size.error().empty()) return violated("a refusal without a message");
        return {};
    }
    if (*size != std::size_t{elements} * element_size(type)) {
        return violated("the decoded size is not the chunk's");
    }
    if (*size > (std::size_t{64} << 20)) return {};  // a valid size the fuzzer need not fill
    std::vector<uint8_t> out(*size);
    const auto decoded = hdf5::decode_chunk(container, type, out);
    if (!decoded && decoded.error().empty()) return violated("a failure without a message");
    return {};
}

}  // namespace kestova::fuzz
