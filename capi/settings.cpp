#include "capi/settings.h"

#include <string>

namespace kestova::capi {

namespace {

// The C enumerators are the codec's numbers, so that a value converts by a cast.
static_assert(KESTOVA_METHOD_CDF53 == int(CompressionMethod::Cdf53) &&
              KESTOVA_METHOD_CDF97 == int(CompressionMethod::Cdf97) &&
              KESTOVA_METHOD_DB4 == int(CompressionMethod::Db4) &&
              KESTOVA_METHOD_SYM4 == int(CompressionMethod::Sym4));
static_assert(KESTOVA_CODER_DEFLATE == int(EntropyCoder::Deflate) &&
              KESTOVA_CODER_ARANS == int(EntropyCoder::Arans) &&
              KESTOVA_CODER_AUTO == int(EntropyCoder::Auto));
static_assert(KESTOVA_CUTOFF_LOW == int(CutoffLevel::Low) &&
              KESTOVA_CUTOFF_MEDIUM == int(CutoffLevel::Medium) &&
              KESTOVA_CUTOFF_HIGH == int(CutoffLevel::High));
static_assert(KESTOVA_ENCODER_REFERENCE == int(Encoder::Reference) &&
              KESTOVA_ENCODER_TUNED == int(Encoder::Tuned));
static_assert(KESTOVA_BOUND_NONE == int(BoundKind::None) &&
              KESTOVA_BOUND_RELATIVE == int(BoundKind::Relative) &&
              KESTOVA_BOUND_ABSOLUTE == int(BoundKind::Absolute));

// The newest stream version this library writes (0 asks for version 1).
constexpr int kNewestVersion = 2;

bool within(int value, int last) {
    return value >= 0 && value <= last;
}

std::unexpected<Outcome> invalid(std::string text) {
    return std::unexpected(failure(KESTOVA_ERROR_INVALID_ARGUMENT, std::move(text)));
}

}  // namespace

std::expected<ChunkSettings, Outcome> settings_of(const kestova_options* given) {
    kestova_options options;
    kestova_options_default(&options);
    if (given != nullptr) options = *given;
    if (!within(options.method, KESTOVA_METHOD_SYM4)) {
        return invalid("unknown method " + std::to_string(options.method));
    }
    if (!within(options.coder, KESTOVA_CODER_AUTO)) {
        return invalid("unknown coder " + std::to_string(options.coder));
    }
    if (!within(options.cutoff, KESTOVA_CUTOFF_HIGH)) {
        return invalid("unknown cutoff " + std::to_string(options.cutoff));
    }
    if (!within(options.encoder, KESTOVA_ENCODER_TUNED)) {
        return invalid("unknown encoder " + std::to_string(options.encoder));
    }
    if (!within(options.bound, KESTOVA_BOUND_ABSOLUTE)) {
        return invalid("unknown bound kind " + std::to_string(options.bound));
    }
    if (!within(options.stream_version, kNewestVersion)) {
        return invalid("stream version " + std::to_string(options.stream_version) +
                       " is not written by this library");
    }
    if (!within(options.scale, 255) || !is_supported_scale(static_cast<uint8_t>(options.scale))) {
        return std::unexpected(failure(KESTOVA_ERROR_UNSUPPORTED_SCALE,
                                       "Unsupported scale " + std::to_string(options.scale)));
    }
    ChunkSettings settings{
        .options = {.cutoff = static_cast<CutoffLevel>(options.cutoff),
                    .coder = static_cast<EntropyCoder>(options.coder),
                    .method = static_cast<CompressionMethod>(options.method),
                    .scale = static_cast<uint8_t>(options.scale)},
        .choose_method = options.choose_method != 0,
        .encoder = static_cast<Encoder>(options.encoder),
        // The C enumerators carry the numbers the HDF5 filter records.
        .bound = static_cast<BoundKind>(options.bound),
        .max_error = options.max_error,
        .format = static_cast<uint8_t>(options.stream_version == 2 ? 2 : 1),
        .psnr = options.psnr,
        .bits_per_sample = options.bits_per_sample,
    };
    if (const auto checked = check_chunk_settings(settings); !checked) {
        return invalid(checked.error());
    }
    return settings;
}

}  // namespace kestova::capi
