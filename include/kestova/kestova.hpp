// Kestova's C++ interface (C++23): the C interface (kestova.h) with spans in, vectors or the
// caller's buffers out and std::expected for errors. Header-only, over the C functions alone,
// so it carries the C interface's guarantees: reentrant, no state between calls, no exceptions
// from the library (a std::vector may still throw std::bad_alloc).
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "kestova/kestova.h"

namespace kestova::lib {

// A failure: its code and the library's full text for it.
struct Error {
    kestova_status code = KESTOVA_OK;
    std::string message;
};

template <typename T>
using Result = std::expected<T, Error>;

using Options = kestova_options;
using Header = kestova_header;
using Record = kestova_record;
using ElementType = kestova_element_type;
using ChunkFill = kestova_chunk_fill;

// The defaults: kestova_compress with them writes kestova.compress_signal's bytes.
inline Options default_options() {
    Options options;
    kestova_options_default(&options);
    return options;
}

inline std::string version() {
    return kestova_version_string();
}

namespace detail {

// Memory from the library, released by kestova_free.
template <typename T>
struct Owned {
    T* data = nullptr;
    std::size_t size = 0;
    Owned() = default;
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { kestova_free(data); }
    std::vector<T> take() const { return std::vector<T>(data, data + size); }
};

inline std::unexpected<Error> failed(kestova_status code, const kestova_error& error) {
    return std::unexpected(Error{code, error.message});
}

// The value that `call(kestova_error*)` produced through `value()`, or its error.
template <typename Call, typename Value>
auto run(Call&& call, Value&& value) -> Result<decltype(value())> {
    kestova_error error{};
    const kestova_status code = call(&error);
    if (code != KESTOVA_OK) return failed(code, error);
    return value();
}

}  // namespace detail

// The stream of `samples` with `options`.
inline Result<std::vector<uint8_t>> compress(std::span<const float> samples,
                                             const Options& options = default_options()) {
    detail::Owned<uint8_t> out;
    return detail::run(
        [&](kestova_error* error) {
            return kestova_compress(samples.data(), samples.size(), &options, &out.data, &out.size,
                                    error);
        },
        [&] { return out.take(); });
}

// The stream of `samples` written into `dst`; its size. A short buffer is
// KESTOVA_ERROR_BUFFER_TOO_SMALL.
inline Result<std::size_t> compress_into(std::span<const float> samples, std::span<uint8_t> dst,
                                         const Options& options = default_options()) {
    std::size_t written = 0;
    return detail::run(
        [&](kestova_error* error) {
            return kestova_compress_into(samples.data(), samples.size(), &options, dst.data(),
                                         dst.size(), &written, error);
        },
        [&] { return written; });
}

// The samples of a stream or .kst file.
inline Result<std::vector<float>> decompress(std::span<const uint8_t> stream) {
    detail::Owned<float> out;
    return detail::run(
        [&](kestova_error* error) {
            return kestova_decompress(stream.data(), stream.size(), &out.data, &out.size, error);
        },
        [&] { return out.take(); });
}

// The samples of a stream written into `dst`; their count.
inline Result<std::size_t> decompress_into(std::span<const uint8_t> stream, std::span<float> dst) {
    std::size_t count = 0;
    return detail::run(
        [&](kestova_error* error) {
            return kestova_decompress_into(stream.data(), stream.size(), dst.data(), dst.size(),
                                           &count, error);
        },
        [&] { return count; });
}

// The number of samples a stream decodes to, from its header.
inline Result<std::size_t> decoded_count(std::span<const uint8_t> stream) {
    std::size_t count = 0;
    return detail::run(
        [&](kestova_error* error) {
            return kestova_decoded_count(stream.data(), stream.size(), &count, error);
        },
        [&] { return count; });
}

inline Result<Header> read_header(std::span<const uint8_t> stream) {
    Header header{};
    return detail::run(
        [&](kestova_error* error) {
            return kestova_read_header(stream.data(), stream.size(), &header, error);
        },
        [&] { return header; });
}

// The record after the stream of a .kst file; its body points into `file`.
inline Result<Record> read_record(std::span<const uint8_t> file) {
    Record record{};
    return detail::run(
        [&](kestova_error* error) {
            return kestova_read_record(file.data(), file.size(), &record, error);
        },
        [&] { return record; });
}

// The stream of a chunk of elements of `type`, viewed as bytes.
inline Result<std::vector<uint8_t>> chunk_encode(std::span<const std::byte> elements,
                                                 ElementType type,
                                                 const Options& options = default_options(),
                                                 bool omit_trailing_nan = false) {
    detail::Owned<uint8_t> out;
    const std::size_t size = kestova_element_size(type);
    return detail::run(
        [&](kestova_error* error) {
            return kestova_chunk_encode(elements.data(), size == 0 ? 0 : elements.size() / size,
                                        type, &options, omit_trailing_nan ? 1 : 0, &out.data,
                                        &out.size, error);
        },
        [&] { return out.take(); });
}

// A chunk's elements of `type` as bytes.
inline Result<std::vector<std::byte>> chunk_decode(std::span<const uint8_t> stream,
                                                   ElementType type, uint64_t elements,
                                                   ChunkFill fill = KESTOVA_FILL_EXACT) {
    void* data = nullptr;
    std::size_t count = 0;
    kestova_error error{};
    const kestova_status code = kestova_chunk_decode(stream.data(), stream.size(), type, elements,
                                                     fill, &data, &count, &error);
    if (code != KESTOVA_OK) return detail::failed(code, error);
    detail::Owned<std::byte> owned;
    owned.data = static_cast<std::byte*>(data);
    owned.size = count * kestova_element_size(type);
    return owned.take();
}

// A chunk decoded into `dst` (bytes of elements of `type`); the elements written.
inline Result<std::size_t> chunk_decode_into(std::span<const uint8_t> stream, ElementType type,
                                             uint64_t elements, ChunkFill fill,
                                             std::span<std::byte> dst) {
    std::size_t decoded = 0;
    const std::size_t size = kestova_element_size(type);
    return detail::run(
        [&](kestova_error* error) {
            return kestova_chunk_decode_into(stream.data(), stream.size(), type, elements, fill,
                                             dst.data(), size == 0 ? 0 : dst.size() / size,
                                             &decoded, error);
        },
        [&] { return decoded; });
}

}  // namespace kestova::lib
