// The crossing from C callers into the codec: every entry point runs its body through
// `guarded`, which turns a failure value or an escaping exception into a status code and the
// caller's kestova_error; results the caller owns are copied into memory from malloc.
#pragma once

#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <string>

#include "codec/error.h"
#include "kestova/kestova.h"

namespace kestova::capi {

// What a call ended with: KESTOVA_OK, or a code and the full text.
struct Outcome {
    kestova_status code = KESTOVA_OK;
    std::string message;
};

inline Outcome failure(kestova_status code, std::string message) {
    return {code, std::move(message)};
}

// The codec's error kinds are the codes 1 to 12, in the same order.
inline Outcome codec_failure(const KestovaError& error) {
    return {static_cast<kestova_status>(static_cast<int>(error.kind()) + 1), error.message()};
}

// Runs `body` (returning an Outcome) and reports its end through `error`; no exception escapes.
template <typename Body>
kestova_status guarded(kestova_error* error, Body&& body) noexcept {
    Outcome outcome;
    try {
        outcome = body();
    } catch (const std::bad_alloc&) {
        outcome.code = KESTOVA_ERROR_OUT_OF_MEMORY;
    } catch (...) {
        outcome.code = KESTOVA_ERROR_INTERNAL;
    }
    if (error != nullptr) {
        error->code = outcome.code;
        const char* text = outcome.message.empty() && outcome.code != KESTOVA_OK
                               ? kestova_error_message(outcome.code)
                               : outcome.message.c_str();
        std::strncpy(error->message, text, sizeof error->message - 1);
        error->message[sizeof error->message - 1] = '\0';
    }
    return outcome.code;
}

// `bytes` copied into memory from malloc (nullptr for none), released by kestova_free.
template <typename T>
Outcome hand_over(std::span<const T> values, T** out, std::size_t* size) {
    T* memory = nullptr;
    if (!values.empty()) {
        memory = static_cast<T*>(std::malloc(values.size_bytes()));
        if (memory == nullptr) return failure(KESTOVA_ERROR_OUT_OF_MEMORY, {});
        std::memcpy(memory, values.data(), values.size_bytes());
    }
    *out = memory;
    *size = values.size();
    return {};
}

// The refusal of a buffer of `capacity` units (bytes, samples, elements) where `needed` are.
inline Outcome too_small(std::size_t capacity, std::size_t needed, const char* units) {
    return failure(KESTOVA_ERROR_BUFFER_TOO_SMALL, "the buffer holds " + std::to_string(capacity) +
                                                       " " + units + " but " +
                                                       std::to_string(needed) + " are needed");
}

// Copies `values` into `dst` of `capacity` when they fit; always reports the count in *count.
template <typename T>
Outcome copy_into(std::span<const T> values, T* dst, std::size_t capacity, std::size_t* count,
                  const char* units) {
    *count = values.size();
    if (values.size() > capacity) return too_small(capacity, values.size(), units);
    if (!values.empty()) std::memcpy(dst, values.data(), values.size_bytes());
    return {};
}

inline Outcome null_pointer(const char* name) {
    return failure(KESTOVA_ERROR_NULL_POINTER, std::string(name) + " is NULL");
}

}  // namespace kestova::capi
