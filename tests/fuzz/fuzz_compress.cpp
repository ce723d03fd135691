// libFuzzer entry point of check_compress.
#include "tests/fuzz/check_compress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return kestova::fuzz::run_or_abort(kestova::fuzz::check_compress, data, size);
}
