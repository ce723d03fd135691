// Feeds arbitrary bytes to the version-2 decoder: it must return exactly sample_count samples of
// the stated element type or an error with a message, never crash or read out of bounds, and
// never hold more samples than the stream's size justifies.
#pragma once

#include "codec/v2/decoder.h"
#include "tests/fuzz/fuzz_check.h"

namespace kestova::fuzz {

inline CheckResult check_v2_decode(Input data) {
    const auto out = v2::decode(data);
    if (!out) {
        if (out.error().message().empty()) return violated("an error without a message");
        return {};
    }
    const auto& info = out->info;
    if (out->samples.size() != info.sample_count * info.element.size) {
        return violated("the samples do not fill sample_count elements");
    }
    if (info.stream_length != data.size()) return violated("bytes outside the stream decoded");
    if (info.sample_count > v2::kMaxSamplesPerPayloadByte * data.size()) {
        return violated("more samples than the stream's size allows");
    }
    return {};
}

}  // namespace kestova::fuzz
