#include "codec/chunk/chunk_settings.h"

#include <cmath>

#include "codec/v2/quantizer.h"
#include "codec/v2/rate_target.h"

namespace kestova {

namespace {

std::expected<void, std::string> check_v2_settings(const ChunkSettings& settings) {
    constexpr ChunkSettings defaults{};
    const CompressionOptions& o = settings.options;
    if (settings.choose_method || o.method != defaults.options.method ||
        o.scale != defaults.options.scale || o.cutoff != defaults.options.cutoff ||
        o.coder != defaults.options.coder) {
        return std::unexpected(std::string(
            "method, scale, cutoff and coder are version-1 settings: format 2 takes max_error "
            "(with relative), psnr or bits_per_sample"));
    }
    const bool bounded = settings.bound != BoundKind::None;
    if (int{bounded} + int{settings.psnr != 0} + int{settings.bits_per_sample != 0} > 1) {
        return std::unexpected(std::string("give one target: max_error, psnr or bits_per_sample"));
    }
    if (bounded && !(std::isfinite(settings.max_error) && settings.max_error >= 0.0)) {
        return std::unexpected(std::string("max_error must be a finite number >= 0"));
    }
    const auto [low, high] = v2::kPsnrRange;
    if (settings.psnr != 0 && !(settings.psnr >= low && settings.psnr <= high)) {
        return std::unexpected("psnr must be a number of dB from " + std::to_string(low) + " to " +
                               std::to_string(high));
    }
    const auto [fewest, most] = v2::kBitsPerSampleRange;
    if (settings.bits_per_sample != 0 &&
        !(settings.bits_per_sample >= fewest && settings.bits_per_sample <= most)) {
        return std::unexpected("bits_per_sample must be a number from " + std::to_string(fewest) +
                               " to " + std::to_string(most));
    }
    return {};
}

}  // namespace

std::expected<void, std::string> check_chunk_settings(const ChunkSettings& settings) {
    if (settings.format == 2) return check_v2_settings(settings);
    if (settings.format != 1) {
        return std::unexpected("format must be 1 or 2, not " + std::to_string(settings.format));
    }
    if (settings.psnr != 0) {
        return std::unexpected(std::string("psnr is a version-2 target: give format 2 with it"));
    }
    if (settings.bits_per_sample != 0) {
        return std::unexpected(
            std::string("bits_per_sample is a version-2 target: give format 2 with it"));
    }
    const bool bounded = settings.bound != BoundKind::None;
    if (settings.choose_method && !(bounded && settings.encoder == Encoder::Tuned)) {
        return std::unexpected(std::string(
            "method=None lets the tuned encoder choose the method for each chunk: it needs "
            "max_error and encoder 'tuned'"));
    }
    if (!bounded) return {};
    if (!(std::isfinite(settings.max_error) && settings.max_error >= 0.0)) {
        return std::unexpected(std::string("max_error must be a finite number >= 0"));
    }
    constexpr CompressionOptions defaults{};
    if (settings.options.scale != defaults.scale || settings.options.cutoff != defaults.cutoff) {
        return std::unexpected(std::string(
            "max_error picks scale and cutoff for each chunk; leave scale and cutoff at their "
            "defaults when giving max_error"));
    }
    return {};
}

}  // namespace kestova
