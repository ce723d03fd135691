// libFuzzer entry point of check_tuned.
#include "tests/fuzz/check_tuned.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return kestova::fuzz::run_or_abort(kestova::fuzz::check_tuned, data, size);
}
