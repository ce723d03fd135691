// The encoders that choose a container's coefficient image, one entry each: the name options
// and stores use. Every encoder writes the same container format; only the coefficients differ.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestova {

// Reference writes the pinned bytes of compress(); Tuned rounds to nearest with a dead zone and
// can meet an error bound in one closed-loop pass.
enum class Encoder : uint8_t { Reference = 0, Tuned = 1 };

struct EncoderEntry {
    Encoder encoder;
    std::string_view name;
};

// Every encoder, in the order messages list them.
inline constexpr std::array kEncoders{
    EncoderEntry{Encoder::Reference, "reference"},
    EncoderEntry{Encoder::Tuned, "tuned"},
};

// The encoder that new codec settings get.
inline constexpr Encoder kDefaultEncoder = Encoder::Tuned;

constexpr std::string_view encoder_name(Encoder encoder) {
    for (const EncoderEntry& entry : kEncoders) {
        if (entry.encoder == encoder) return entry.name;
    }
    return {};
}

constexpr std::optional<Encoder> encoder_from_name(std::string_view name) {
    for (const EncoderEntry& entry : kEncoders) {
        if (entry.name == name) return entry.encoder;
    }
    return std::nullopt;
}

}  // namespace kestova
