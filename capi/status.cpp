// The library's version, the texts of its codes, and kestova_free.
#include <array>
#include <cstdlib>
#include <utility>

#include "kestova/kestova.h"

namespace {

// One row per code, in code order.
constexpr std::array<std::pair<kestova_status, const char*>, 20> kMessages{{
    {KESTOVA_OK, "no error"},
    {KESTOVA_ERROR_INVALID_METHOD, "unknown compression method in the header"},
    {KESTOVA_ERROR_INVALID_MAGIC, "not a Kestova stream (wrong magic)"},
    {KESTOVA_ERROR_INVALID_FORMAT_TAG, "unknown format tag in the header"},
    {KESTOVA_ERROR_INVALID_VERSION, "a stream version this library does not read"},
    {KESTOVA_ERROR_TRANSFORM, "the wavelet transform failed"},
    {KESTOVA_ERROR_IO, "the deflate library failed"},
    {KESTOVA_ERROR_OUT_OF_MEMORY, "out of memory"},
    {KESTOVA_ERROR_INVALID_HEADER, "the stream is shorter than a header"},
    {KESTOVA_ERROR_UNSUPPORTED_CONFIGURATION, "unsupported configuration"},
    {KESTOVA_ERROR_DECOMPRESSION_FAILED, "damaged or inconsistent stream"},
    {KESTOVA_ERROR_UNSUPPORTED_SCALE, "unsupported scale"},
    {KESTOVA_ERROR_UNKNOWN_CODER, "unknown entropy coder in the header"},
    {KESTOVA_ERROR_NULL_POINTER, "a required pointer is NULL"},
    {KESTOVA_ERROR_INVALID_ARGUMENT, "invalid argument"},
    {KESTOVA_ERROR_BUFFER_TOO_SMALL, "the buffer is too small"},
    {KESTOVA_ERROR_REFUSED, "the input or the error bound is refused"},
    {KESTOVA_ERROR_NO_RECORD, "the file holds no record after the stream"},
    {KESTOVA_ERROR_INVALID_RECORD, "the record after the stream is damaged"},
    {KESTOVA_ERROR_INTERNAL, "internal fault"},
}};

}  // namespace

extern "C" {

unsigned kestova_version_number(void) {
    return KESTOVA_VERSION_MAJOR * 10000 + KESTOVA_VERSION_MINOR * 100 + KESTOVA_VERSION_PATCH;
}

const char* kestova_version_string(void) {
    return KESTOVA_VERSION_TEXT;
}

const char* kestova_error_message(int code) {
    for (const auto& [status, text] : kMessages) {
        if (status == code) return text;
    }
    return "unknown error code";
}

void kestova_free(void* memory) {
    std::free(memory);
}

}  // extern "C"
