// Inflates arbitrary bytes as a raw deflate payload through the codec's inflate (libdeflate
// first) and through zlib alone: neither may fault or exceed the limit, and both must give the
// same bytes or the same error, except where libdeflate is documented to be lenient (a stream
// zlib refuses that libdeflate inflates to exactly the limit).
// Input: one mode byte, two limit bytes (little-endian), then the payload. Mode bit 0 asks for
// the limit to be the payload's exact inflated size (as containers do), so that libdeflate runs.
#pragma once

#include <algorithm>
#include <string>

#include "codec/deflate.h"
#include "tests/fuzz/fuzz_check.h"

namespace kestova::fuzz {

inline CheckResult check_inflate(Input data) {
    if (data.size() < 3) return {};
    const Input payload = data.subspan(3);
    std::size_t limit = data[1] | std::size_t{data[2]} << 8;
    if (data[0] & 1) {
        const auto whole = inflate_raw_zlib(payload, std::size_t{1} << 24);
        if (whole) limit = whole->size;
    }
    const auto fast = inflate_raw(payload, limit);
    const auto zlib = inflate_raw_zlib(payload, limit);
    if ((fast && fast->size > limit) || (zlib && zlib->size > limit)) {
        return violated("inflation passed the limit");
    }
    if (fast && zlib) {
        if (!std::ranges::equal(fast->bytes(), zlib->bytes())) {
            return violated("libdeflate and zlib inflate to different bytes");
        }
        return {};
    }
    if (!fast && !zlib) {
        if (fast.error().message() != zlib.error().message()) {
            return violated("libdeflate and zlib fail with different messages");
        }
        return {};
    }
    if (fast && fast->size == limit && zlib.error().message().ends_with("corrupt deflate stream")) {
        return {};  // libdeflate's documented leniency (unused length symbols)
    }
    return violated(std::string("only one inflater fails: ") +
                    (fast ? zlib.error().message() : fast.error().message()));
}

}  // namespace kestova::fuzz
