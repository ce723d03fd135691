// libFuzzer entry point of check_hdf5_chunk.
#include "tests/fuzz/check_hdf5_chunk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return kestova::fuzz::run_or_abort(kestova::fuzz::check_hdf5_chunk, data, size);
}
