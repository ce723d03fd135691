#include <gtest/gtest.h>

#include "codec/error.h"

namespace kestova {
namespace {

struct MessageCase {
    const char* name;
    KestovaError error;
    KestovaErrorKind kind;
    const char* text;
};

class KestovaErrorMessage : public ::testing::TestWithParam<MessageCase> {};

TEST_P(KestovaErrorMessage, RendersExactText) {
    EXPECT_EQ(GetParam().error.kind(), GetParam().kind);
    EXPECT_EQ(GetParam().error.message(), GetParam().text);
}

using E = KestovaError;
using K = KestovaErrorKind;
INSTANTIATE_TEST_SUITE_P(
    AllKinds, KestovaErrorMessage,
    ::testing::Values(
        MessageCase{"Method", E::invalid_method({'a', 'b', 'c', 'd'}), K::InvalidMethod,
                    "Invalid compression method 'abcd'"},
        MessageCase{"MethodNotUtf8", E::invalid_method({0xFF, 'a', 'b', 'c'}), K::InvalidMethod,
                    "Invalid compression method '\?\?\?\?'"},
        MessageCase{"Magic", E::invalid_magic({'A', 'B', 'C', 'D'}), K::InvalidMagic,
                    "Magic should be 'KSTV' but it was 'ABCD'"},
        MessageCase{"MagicNotUtf8", E::invalid_magic({0xC3, 0x28, 'x', 'y'}), K::InvalidMagic,
                    "Magic should be 'KSTV' but it was '\?\?\?\?'"},
        MessageCase{"MagicMultibyte", E::invalid_magic({0xC3, 0xA9, 'x', 'y'}), K::InvalidMagic,
                    "Magic should be 'KSTV' but it was '\xC3\xA9xy'"},
        MessageCase{"MagicFourByteChar", E::invalid_magic({0xF0, 0x9F, 0x98, 0x80}),
                    K::InvalidMagic, "Magic should be 'KSTV' but it was '\xF0\x9F\x98\x80'"},
        MessageCase{"MagicSurrogate", E::invalid_magic({0xED, 0xA0, 0x80, 'x'}), K::InvalidMagic,
                    "Magic should be 'KSTV' but it was '\?\?\?\?'"},
        MessageCase{"MagicOverlong", E::invalid_magic({0xC0, 0x80, 'x', 'y'}), K::InvalidMagic,
                    "Magic should be 'KSTV' but it was '\?\?\?\?'"},
        MessageCase{"MagicCutSequence", E::invalid_magic({'x', 'y', 'z', 0xE2}), K::InvalidMagic,
                    "Magic should be 'KSTV' but it was '\?\?\?\?'"},
        MessageCase{"MagicAboveUnicode", E::invalid_magic({0xF4, 0x90, 0x80, 0x80}),
                    K::InvalidMagic, "Magic should be 'KSTV' but it was '\?\?\?\?'"},
        MessageCase{"FormatTag", E::invalid_format_tag({'f', '6'}), K::InvalidFormatTag,
                    "Invalid compression method 'f6'"},
        MessageCase{"FormatTagNotUtf8", E::invalid_format_tag({0x80, 'x'}), K::InvalidFormatTag,
                    "Invalid compression method '\?\?'"},
        MessageCase{"Version", E::invalid_version({'2', '0'}), K::InvalidVersion,
                    "Invalid header version '20'"},
        MessageCase{"VersionNotUtf8", E::invalid_version({0xFF, 0x00}), K::InvalidVersion,
                    "Invalid header version '\?\?'"},
        MessageCase{"Transform", E::transform("engine said no"), K::Transform, "engine said no"},
        MessageCase{"Io", E::io("disk on fire"), K::Io, "disk on fire"},
        MessageCase{"OutOfMemory", E::out_of_memory(12), K::OutOfMemory,
                    "Out of memory, can't allocate additional 12"},
        MessageCase{"Header", E::invalid_header(), K::InvalidHeader, "Header is invalid"},
        MessageCase{"Configuration", E::unsupported_configuration("Can't compress empty data"),
                    K::UnsupportedConfiguration,
                    "Unsupported compression configuration 'Can't compress empty data'"},
        MessageCase{"Decompression", E::decompression_failed("Stream truncated"),
                    K::DecompressionFailed, "Can't decompress data, reason: Stream truncated"},
        MessageCase{"Scale", E::unsupported_scale(13), K::UnsupportedScale,
                    "Only scaled 6..12 is supported, but it was 13"},
        MessageCase{"Coder", E::unknown_coder(2), K::UnknownCoder, "Unknown entropy coder 2"},
        MessageCase{"CoderMax", E::unknown_coder(255), K::UnknownCoder,
                    "Unknown entropy coder 255"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KestovaErrorKinds, DeclaredOrder) {
    EXPECT_EQ(static_cast<int>(K::InvalidMethod), 0);
    EXPECT_EQ(static_cast<int>(K::UnsupportedConfiguration), 8);
    EXPECT_EQ(static_cast<int>(K::UnknownCoder), 11);
}

}  // namespace
}  // namespace kestova
