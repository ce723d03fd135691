// libFuzzer entry point of check_v2_rate.
#include "tests/fuzz/check_v2_rate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return kestova::fuzz::run_or_abort(kestova::fuzz::check_v2_rate, data, size);
}
