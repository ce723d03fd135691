// Parses arbitrary bytes as a container header (must not fault; messages must render) and checks
// that a parsed header is written back to the same judged bytes.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "codec/header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace kestova;
    const auto header = KestovaHeader::from_bytes(std::span<const uint8_t>(data, size));
    if (!header) {
        if (header.error().message().empty()) std::abort();
        return 0;
    }
    const HeaderFields fields{header->method_tag, header->levels,          header->scale,
                              header->coder,      header->sample_count,    header->signal_min,
                              header->signal_max, header->normalized_mean, header->payload_length};
    std::array<uint8_t, HEADER_SIZE> out{};
    write_header(fields, out);
    // Byte 5, flags and reserved are carried but the writer sets its own values there.
    if (std::memcmp(out.data(), data, 5) != 0 || std::memcmp(out.data() + 6, data + 6, 9) != 0 ||
        std::memcmp(out.data() + 16, data + 16, 20) != 0) {
        std::abort();
    }
    if (!KestovaHeader::from_bytes(out)) std::abort();
    return 0;
}
