// libFuzzer entry point of check_inflate.
#include "tests/fuzz/check_inflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return kestova::fuzz::run_or_abort(kestova::fuzz::check_inflate, data, size);
}
