// Feeds arbitrary bytes to the C interface's readers: header, count, record, decoding into the
// library's memory and into a caller buffer, and a chunk decode. Every failure must carry a
// known code and a message; a success must agree with the header and with the other readers.
#include <cstring>
#include <vector>

#include "kestova/kestova.h"
#include "tests/fuzz/fuzz_check.h"

namespace kestova::fuzz {

namespace {

bool reported(kestova_status code, const kestova_error& error) {
    return error.code == code && error.message[0] != '\0' &&
           std::strcmp(kestova_error_message(code), "unknown error code") != 0;
}

CheckResult check_capi_decode(Input data) {
    kestova_error error;
    kestova_header header;
    const kestova_status read = kestova_read_header(data.data(), data.size(), &header, &error);
    if (read != KESTOVA_OK && !reported(read, error)) return violated("a header error unreported");
    kestova_record record;
    const kestova_status recorded = kestova_read_record(data.data(), data.size(), &record, &error);
    if (recorded == KESTOVA_OK && (record.body < data.data() ||
                                   record.body + record.body_size != data.data() + data.size())) {
        return violated("a record body outside the file's end");
    }

    float* samples = nullptr;
    std::size_t count = 0;
    const kestova_status decoded =
        kestova_decompress(data.data(), data.size(), &samples, &count, &error);
    if (decoded != KESTOVA_OK) {
        if (!reported(decoded, error)) return violated("a decoding error unreported");
        if (samples != nullptr) return violated("memory handed out on failure");
        return {};
    }
    if (read != KESTOVA_OK || count != header.samples) {
        kestova_free(samples);
        return violated("a decoded length other than the header's sample count");
    }
    std::vector<float> into(count + 1, -1.0f);
    std::size_t written = 0;
    const kestova_status copied =
        kestova_decompress_into(data.data(), data.size(), into.data(), count, &written, &error);
    const bool same = copied == KESTOVA_OK && written == count && into[count] == -1.0f &&
                      (count == 0 || std::memcmp(into.data(), samples, count * sizeof(float)) == 0);
    kestova_free(samples);
    if (!same) return violated("decoding into a buffer differs from decoding into memory");

    void* elements = nullptr;
    std::size_t chunk = 0;
    const kestova_status as_chunk =
        kestova_chunk_decode(data.data(), data.size(), KESTOVA_INT16, count, KESTOVA_FILL_AT_MOST,
                             &elements, &chunk, &error);
    kestova_free(elements);
    if (as_chunk != KESTOVA_OK && !reported(as_chunk, error))
        return violated("a chunk error unreported");
    if (as_chunk == KESTOVA_OK && chunk != count) return violated("a chunk of another length");
    return {};
}

}  // namespace

}  // namespace kestova::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return kestova::fuzz::run_or_abort(kestova::fuzz::check_capi_decode, data, size);
}
