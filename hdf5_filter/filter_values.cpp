#include "hdf5_filter/filter_values.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "codec/method_table.h"

namespace kestova::hdf5 {

namespace {

bool is_method(unsigned value) {
    for (const MethodEntry& entry : kMethods) {
        if (static_cast<unsigned>(entry.method) == value) return true;
    }
    return false;
}

template <std::size_t N, typename Enum>
bool is_listed(unsigned value, const std::array<Enum, N>& listed) {
    for (const Enum item : listed) {
        if (static_cast<unsigned>(item) == value) return true;
    }
    return false;
}

std::string out_of_range(std::string_view what, unsigned value) {
    return "kestova filter: " + std::string(what) + " value " + std::to_string(value) +
           " is not one this version knows";
}

}  // namespace

std::expected<FilterSettings, std::string> parse_settings(std::span<const unsigned> values) {
    FilterSettings settings;
    if (values.empty()) return settings;
    if (values[kVersionSlot] != kLayoutVersion && values[kVersionSlot] != kV2LayoutVersion) {
        return std::unexpected("kestova filter: unknown settings layout version " +
                               std::to_string(values[kVersionSlot]) + " (this version reads " +
                               std::to_string(kLayoutVersion) + " and " +
                               std::to_string(kV2LayoutVersion) + ")");
    }
    settings.format = values[kVersionSlot] == kV2LayoutVersion ? 2 : 1;
    const auto given = [&](Slot slot) { return slot < values.size(); };
    if (given(kMethodSlot) && values[kMethodSlot] == kMethodChosen) {
        settings.choose_method = true;
    } else if (given(kMethodSlot)) {
        if (!is_method(values[kMethodSlot])) {
            return std::unexpected(out_of_range("method", values[kMethodSlot]));
        }
        settings.options.method = static_cast<CompressionMethod>(values[kMethodSlot]);
    }
    if (given(kScaleSlot)) {
        const unsigned scale = values[kScaleSlot];
        if (scale > 255 || !is_supported_scale(static_cast<uint8_t>(scale))) {
            return std::unexpected(out_of_range("scale", scale));
        }
        settings.options.scale = static_cast<uint8_t>(scale);
    }
    if (given(kCutoffSlot)) {
        if (!is_listed(values[kCutoffSlot], kCutoffLevels)) {
            return std::unexpected(out_of_range("cutoff", values[kCutoffSlot]));
        }
        settings.options.cutoff = static_cast<CutoffLevel>(values[kCutoffSlot]);
    }
    if (given(kCoderSlot)) {
        if (!is_listed(values[kCoderSlot], kEntropyCoders)) {
            return std::unexpected(out_of_range("coder", values[kCoderSlot]));
        }
        settings.options.coder = static_cast<EntropyCoder>(values[kCoderSlot]);
    }
    if (given(kEncoderSlot)) {
        bool known = false;
        for (const EncoderEntry& entry : kEncoders) {
            known = known || static_cast<unsigned>(entry.encoder) == values[kEncoderSlot];
        }
        if (!known) return std::unexpected(out_of_range("encoder", values[kEncoderSlot]));
        settings.encoder = static_cast<Encoder>(values[kEncoderSlot]);
    }
    // In layout version 2 the bound slot may name a PSNR or a bits-per-sample target instead.
    const bool v2_target = settings.format == 2 && given(kBoundSlot);
    const bool psnr = v2_target && values[kBoundSlot] == kPsnrBound;
    const bool rate = v2_target && values[kBoundSlot] == kBitsPerSampleBound;
    if (given(kBoundSlot) && !psnr && !rate) {
        if (values[kBoundSlot] > static_cast<unsigned>(BoundKind::Absolute)) {
            return std::unexpected(out_of_range("error bound kind", values[kBoundSlot]));
        }
        settings.bound = static_cast<BoundKind>(values[kBoundSlot]);
    }
    if (settings.bound != BoundKind::None || psnr || rate) {
        if (!given(kBoundHighSlot)) {
            return std::unexpected(std::string("kestova filter: an error bound needs its value"));
        }
        const uint64_t bits = uint64_t{values[kBoundHighSlot]} << 32 | values[kBoundLowSlot];
        (psnr   ? settings.psnr
         : rate ? settings.bits_per_sample
                : settings.max_error) = std::bit_cast<double>(bits);
        if (psnr && settings.psnr == 0) {  // 0 means no PSNR in the settings: not a target
            return std::unexpected(std::string("kestova filter: psnr must be a number of dB"));
        }
        if (rate && !(settings.bits_per_sample > 0)) {  // 0 (or NaN) is no target either
            return std::unexpected(
                std::string("kestova filter: bits_per_sample must be a number above 0"));
        }
    }
    if (settings.format == 2) {
        if (const auto checked = check_chunk_settings(settings); !checked) {
            return std::unexpected("kestova filter: " + checked.error());
        }
        return settings;
    }
    if (settings.bound != BoundKind::None) {
        if (!(std::isfinite(settings.max_error) && settings.max_error >= 0)) {
            return std::unexpected(
                std::string("kestova filter: the error bound must be a finite "
                            "number >= 0"));
        }
        if (settings.encoder != Encoder::Tuned) {
            return std::unexpected(std::string(
                "kestova filter: an error bound is met by the tuned encoder; give encoder "
                "'tuned' with max_error"));
        }
    }
    if (settings.choose_method && settings.bound == BoundKind::None) {
        return std::unexpected(std::string(
            "kestova filter: the method is chosen for each chunk only under an error bound"));
    }
    return settings;
}

std::expected<FilterValues, std::string> parse_values(std::span<const unsigned> values) {
    if (values.size() != kValueCount) {
        return std::unexpected("kestova filter: expected " + std::to_string(kValueCount) +
                               " filter values, found " + std::to_string(values.size()));
    }
    auto settings = parse_settings(values.first(kSettingsCount));
    if (!settings) return std::unexpected(settings.error());
    FilterValues parsed{*settings, ElementType::Unsupported, 0};
    const unsigned type = values[kElementTypeSlot];
    if (type != 0 && find_element(static_cast<ElementType>(type)) == nullptr) {
        return std::unexpected(out_of_range("element type", type));
    }
    parsed.element_type = static_cast<ElementType>(type);
    parsed.chunk_elements = uint64_t{values[kChunkHighSlot]} << 32 | values[kChunkLowSlot];
    return parsed;
}

std::array<unsigned, kSettingsCount> settings_values(const FilterSettings& settings) {
    const bool unbounded_v2 = settings.format == 2 && settings.bound == BoundKind::None;
    const bool psnr = unbounded_v2 && settings.psnr != 0;
    const bool rate = unbounded_v2 && !psnr && settings.bits_per_sample != 0;
    const bool valued = psnr || rate || settings.bound != BoundKind::None;
    const uint64_t bits = std::bit_cast<uint64_t>(psnr   ? settings.psnr
                                                  : rate ? settings.bits_per_sample
                                                         : settings.max_error);
    std::array<unsigned, kSettingsCount> values{};
    values[kVersionSlot] = settings.format == 2 ? kV2LayoutVersion : kLayoutVersion;
    values[kMethodSlot] =
        settings.choose_method ? kMethodChosen : static_cast<unsigned>(settings.options.method);
    values[kScaleSlot] = settings.options.scale;
    values[kCutoffSlot] = static_cast<unsigned>(settings.options.cutoff);
    values[kCoderSlot] = static_cast<unsigned>(settings.options.coder);
    values[kEncoderSlot] = static_cast<unsigned>(settings.encoder);
    values[kBoundSlot] = psnr   ? kPsnrBound
                         : rate ? kBitsPerSampleBound
                                : static_cast<unsigned>(settings.bound);
    values[kBoundLowSlot] = valued ? static_cast<unsigned>(bits) : 0;
    values[kBoundHighSlot] = valued ? static_cast<unsigned>(bits >> 32) : 0;
    return values;
}

std::array<unsigned, kValueCount> all_values(const FilterValues& values) {
    std::array<unsigned, kValueCount> out{};
    const auto settings = settings_values(values.settings);
    std::copy(settings.begin(), settings.end(), out.begin());
    out[kElementTypeSlot] = static_cast<unsigned>(values.element_type);
    out[kChunkLowSlot] = static_cast<unsigned>(values.chunk_elements);
    out[kChunkHighSlot] = static_cast<unsigned>(values.chunk_elements >> 32);
    return out;
}

}  // namespace kestova::hdf5
