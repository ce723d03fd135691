// libFuzzer entry point of check_decode_stream.
#include "tests/fuzz/check_decode_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return kestova::fuzz::run_or_abort(kestova::fuzz::check_decode_stream, data, size);
}
