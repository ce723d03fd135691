// The golden-container fixtures of the codec: one manifest line per container, naming its input,
// the options and executor path that made it, and a digest of its decoded samples. Shared by the
// fixture tests and the program that writes the fixtures.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "codec/method_table.h"
#include "codec/option_names.h"
#include "codec/options.h"
#include "engine/processor_path.h"

namespace kestova::fixtures {

inline constexpr const char* kManifestName = "MANIFEST";

struct FixtureCase {
    std::string container;  // file of the container, relative to the fixture directory
    std::string input;      // file of the input samples (little-endian binary32)
    CompressionOptions options;
    Undra::Isa isa = Undra::Isa::Portable;  // the executor path that made the container
    uint64_t output_digest = 0;             // fnv1a64 of the decoded samples' bytes
};

// 64-bit FNV-1a of the samples' little-endian bytes.
inline uint64_t fnv1a64(std::span<const float> samples) {
    uint64_t hash = 14695981039346656037ull;
    for (const float sample : samples) {
        uint8_t bytes[4];
        std::memcpy(bytes, &sample, 4);
        for (const uint8_t b : bytes) hash = (hash ^ b) * 1099511628211ull;
    }
    return hash;
}

// The names options give (method_table.h, option_names.h), and back.
inline std::string method_name(CompressionMethod method) {
    for (const MethodEntry& entry : kMethods) {
        if (entry.method == method) return std::string(entry.name);
    }
    return "?";
}
template <typename Value, std::size_t N>
std::string name_in(Value value, const std::array<Choice<Value>, N>& table) {
    return std::string(name_of(value, table).value_or("?"));
}
inline std::optional<CompressionMethod> method_named(const std::string& name) {
    for (const MethodEntry& entry : kMethods) {
        if (entry.name == name) return entry.method;
    }
    return std::nullopt;
}
template <typename Value, std::size_t N>
std::optional<Value> value_named(const std::array<Choice<Value>, N>& table,
                                 const std::string& name) {
    for (const auto& choice : table) {
        if (name == choice.text) return choice.value;
    }
    return std::nullopt;
}

// One manifest line: container input method coder scale cutoff path digest.
inline std::string manifest_line(const FixtureCase& c) {
    std::ostringstream line;
    line << c.container << ' ' << c.input << ' ' << method_name(c.options.method) << ' '
         << name_in(c.options.coder, kCoderNames) << ' ' << int(c.options.scale) << ' '
         << name_in(c.options.cutoff, kCutoffNames) << ' ' << Undra::isa_name(c.isa) << ' '
         << std::hex << c.output_digest;
    return line.str();
}

// The case of a manifest line, or nothing when the line is malformed.
inline std::optional<FixtureCase> parse_manifest_line(const std::string& text) {
    std::istringstream line(text);
    FixtureCase c;
    std::string method, coder, cutoff, isa;
    int scale = 0;
    if (!(line >> c.container >> c.input >> method >> coder >> scale >> cutoff >> isa >> std::hex >>
          c.output_digest)) {
        return std::nullopt;
    }
    const auto m = method_named(method);
    const auto k = value_named(kCoderNames, coder);
    const auto t = value_named(kCutoffNames, cutoff);
    const auto path = Undra::isa_from_name(isa);
    if (!m || !k || !t || !path || scale < 6 || scale > 12) return std::nullopt;
    c.options = {.cutoff = *t, .coder = *k, .method = *m, .scale = static_cast<uint8_t>(scale)};
    c.isa = *path;
    return c;
}

// The whole content of a file.
inline std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The samples of an input file.
inline std::vector<float> read_samples(const std::string& path) {
    const std::vector<uint8_t> bytes = read_file(path);
    std::vector<float> samples(bytes.size() / 4);
    std::memcpy(samples.data(), bytes.data(), 4 * samples.size());
    return samples;
}

}  // namespace kestova::fixtures
