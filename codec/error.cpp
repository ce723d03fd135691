#include "codec/error.h"

#include <span>
#include <string_view>

#include "codec/options.h"

namespace kestova {

namespace {

// True when `bytes` is well-formed UTF-8 (no overlongs, surrogates or values past U+10FFFF).
bool is_valid_utf8(std::span<const uint8_t> bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const uint8_t b = bytes[i];
        std::size_t extra = 0;
        uint32_t cp = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + extra >= bytes.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (bytes[i + k] & 0x3F);
        }
        static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// The bytes as text when they are valid UTF-8, else as many question marks as bytes.
template <std::size_t N>
std::string bytes_as_text(const std::array<uint8_t, N>& bytes) {
    if (!is_valid_utf8(bytes)) return std::string(N, '?');
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

KestovaError KestovaError::invalid_method(std::array<uint8_t, 4> tag) {
    return {KestovaErrorKind::InvalidMethod, tag};
}
KestovaError KestovaError::invalid_magic(std::array<uint8_t, 4> magic) {
    return {KestovaErrorKind::InvalidMagic, magic};
}
KestovaError KestovaError::invalid_format_tag(std::array<uint8_t, 2> tag) {
    return {KestovaErrorKind::InvalidFormatTag, tag};
}
KestovaError KestovaError::invalid_version(std::array<uint8_t, 2> version) {
    return {KestovaErrorKind::InvalidVersion, version};
}
KestovaError KestovaError::transform(std::string text) {
    return {KestovaErrorKind::Transform, std::move(text)};
}
KestovaError KestovaError::io(std::string text) { return {KestovaErrorKind::Io, std::move(text)}; }
KestovaError KestovaError::out_of_memory(std::size_t count) {
    return {KestovaErrorKind::OutOfMemory, count};
}
KestovaError KestovaError::invalid_header() { return {KestovaErrorKind::InvalidHeader, std::monostate{}}; }
KestovaError KestovaError::unsupported_configuration(std::string text) {
    return {KestovaErrorKind::UnsupportedConfiguration, std::move(text)};
}
KestovaError KestovaError::decompression_failed(std::string text) {
    return {KestovaErrorKind::DecompressionFailed, std::move(text)};
}
KestovaError KestovaError::unsupported_scale(uint8_t scale) {
    return {KestovaErrorKind::UnsupportedScale, std::size_t{scale}};
}
KestovaError KestovaError::unknown_coder(uint8_t coder) {
    return {KestovaErrorKind::UnknownCoder, std::size_t{coder}};
}

std::string KestovaError::message() const {
    using K = KestovaErrorKind;
    const auto bytes4 = [&] { return bytes_as_text(std::get<std::array<uint8_t, 4>>(payload_)); };
    const auto bytes2 = [&] { return bytes_as_text(std::get<std::array<uint8_t, 2>>(payload_)); };
    const auto text = [&]() -> const std::string& { return std::get<std::string>(payload_); };
    const auto number = [&] { return std::to_string(std::get<std::size_t>(payload_)); };
    switch (kind_) {
        case K::InvalidMethod:
            return "Invalid compression method '" + bytes4() + "'";
        case K::InvalidMagic:
            return "Magic should be 'KSTV' but it was '" + bytes4() + "'";
        case K::InvalidFormatTag:
            return "Invalid compression method '" + bytes2() + "'";
        case K::InvalidVersion:
            return "Invalid header version '" + bytes2() + "'";
        case K::Transform:
        case K::Io:
            return text();
        case K::OutOfMemory:
            return "Out of memory, can't allocate additional " + number();
        case K::InvalidHeader:
            return "Header is invalid";
        case K::UnsupportedConfiguration:
            return "Unsupported compression configuration '" + text() + "'";
        case K::DecompressionFailed:
            return "Can't decompress data, reason: " + text();
        case K::UnsupportedScale:
            return "Only scaled " + std::to_string(kMinScale) + ".." + std::to_string(kMaxScale) +
                   " is supported, but it was " + number();
        case K::UnknownCoder:
            return "Unknown entropy coder " + number();
    }
    return "Unknown codec error";
}

}  // namespace kestova
