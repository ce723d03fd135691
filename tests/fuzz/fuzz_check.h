// What every fuzz target shares with the regression test that replays its stored inputs: a
// target's check runs one input and reports a broken invariant as a message, which the fuzzer
// turns into an abort and the test into a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <expected>
#include <span>
#include <string>
#include <utility>

namespace kestova::fuzz {

using Input = std::span<const uint8_t>;
using CheckResult = std::expected<void, std::string>;

inline CheckResult violated(std::string what) {
    return std::unexpected(std::move(what));
}

// The body of LLVMFuzzerTestOneInput: runs `check` and aborts with its message on a violation.
inline int run_or_abort(CheckResult (*check)(Input), const uint8_t* data, std::size_t size) {
    const CheckResult result = check(Input(data, size));
    if (!result) {
        std::fprintf(stderr, "%s\n", result.error().c_str());
        std::abort();
    }
    return 0;
}

}  // namespace kestova::fuzz
