// libFuzzer entry point of check_v2_sealed.
#include "tests/fuzz/check_v2_sealed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return kestova::fuzz::run_or_abort(kestova::fuzz::check_v2_sealed, data, size);
}
