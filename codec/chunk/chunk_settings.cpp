#include "codec/chunk/chunk_settings.h"

#include <cmath>

namespace kestova {

std::expected<void, std::string> check_chunk_settings(const ChunkSettings& settings) {
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
