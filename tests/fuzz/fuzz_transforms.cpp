// libFuzzer entry point of check_transforms.
#include "tests/fuzz/check_transforms.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return kestova::fuzz::run_or_abort(kestova::fuzz::check_transforms, data, size);
}
