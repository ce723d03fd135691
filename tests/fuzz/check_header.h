// Parses arbitrary bytes as a container header (must not fault; messages must render) and checks
// that a parsed header is written back to the same judged bytes.
#pragma once

#include <array>
#include <cstring>

#include "codec/header.h"
#include "tests/fuzz/fuzz_check.h"

namespace kestova::fuzz {

inline CheckResult check_header(Input data) {
    const auto header = KestovaHeader::from_bytes(data);
    if (!header) {
        if (header.error().message().empty()) return violated("an error without a message");
        return {};
    }
    const HeaderFields fields{header->method_tag, header->levels,          header->scale,
                              header->coder,      header->sample_count,    header->signal_min,
                              header->signal_max, header->normalized_mean, header->payload_length};
    std::array<uint8_t, HEADER_SIZE> out{};
    write_header(fields, out);
    // Byte 5, flags and reserved are carried but the writer sets its own values there.
    if (std::memcmp(out.data(), data.data(), 5) != 0 ||
        std::memcmp(out.data() + 6, data.data() + 6, 9) != 0 ||
        std::memcmp(out.data() + 16, data.data() + 16, 20) != 0) {
        return violated("a parsed header is written back to other bytes");
    }
    if (!KestovaHeader::from_bytes(out)) return violated("a written header does not parse");
    return {};
}

}  // namespace kestova::fuzz
