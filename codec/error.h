// The codec's single error type: twelve kinds, each with its exact user-facing message.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <utility>
#include <variant>

namespace kestova {

enum class KestovaErrorKind : uint8_t {
    InvalidMethod = 0,
    InvalidMagic = 1,
    InvalidFormatTag = 2,
    InvalidVersion = 3,
    Transform = 4,
    Io = 5,
    OutOfMemory = 6,
    InvalidHeader = 7,
    UnsupportedConfiguration = 8,
    DecompressionFailed = 9,
    UnsupportedScale = 10,
    UnknownCoder = 11,
};

// A codec failure: a kind with its payload (bytes, text or a number, per kind).
class KestovaError {
public:
    static KestovaError invalid_method(std::array<uint8_t, 4> tag);
    static KestovaError invalid_magic(std::array<uint8_t, 4> magic);
    static KestovaError invalid_format_tag(std::array<uint8_t, 2> tag);
    static KestovaError invalid_version(std::array<uint8_t, 2> version);
    static KestovaError transform(std::string text);
    static KestovaError io(std::string text);
    static KestovaError out_of_memory(std::size_t count);
    static KestovaError invalid_header();
    static KestovaError unsupported_configuration(std::string text);
    static KestovaError decompression_failed(std::string text);
    static KestovaError unsupported_scale(uint8_t scale);
    static KestovaError unknown_coder(uint8_t coder);

    KestovaErrorKind kind() const { return kind_; }

    // The message shown to users; never fails.
    std::string message() const;

private:
    using Payload = std::variant<std::monostate, std::array<uint8_t, 4>, std::array<uint8_t, 2>,
                                 std::string, std::size_t>;
    // Builds the payload in place (moving a whole variant trips a false GCC warning).
    template <typename T>
    KestovaError(KestovaErrorKind kind, T&& value) : kind_(kind), payload_(std::forward<T>(value)) {}

    KestovaErrorKind kind_;
    Payload payload_;
};

template <typename T>
using KestovaResult = std::expected<T, KestovaError>;

}  // namespace kestova
