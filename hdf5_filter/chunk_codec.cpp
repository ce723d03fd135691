#include "hdf5_filter/chunk_codec.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "codec/compressor.h"
#include "codec/container_limits.h"
#include "codec/decompressor.h"
#include "codec/header.h"
#include "codec/tuned/tuned_compressor.h"
#include "codec/chunk/non_finite.h"

namespace kestova::hdf5 {

namespace {

template <typename T>
void widen_to_float(std::span<const uint8_t> chunk, std::vector<float>& out) {
    const std::size_t count = chunk.size() / sizeof(T);
    out.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        T value;
        std::memcpy(&value, chunk.data() + i * sizeof(T), sizeof(T));
        out[i] = static_cast<float>(value);
    }
}

// The chunk's elements as float32.
void to_float32(std::span<const uint8_t> chunk, ElementType type, std::vector<float>& out) {
    switch (type) {
        case ElementType::Float32:
            widen_to_float<float>(chunk, out);
            break;
        case ElementType::Float64:
            widen_to_float<double>(chunk, out);
            break;
        case ElementType::Int8:
            widen_to_float<int8_t>(chunk, out);
            break;
        case ElementType::Int16:
            widen_to_float<int16_t>(chunk, out);
            break;
        case ElementType::Int32:
            widen_to_float<int32_t>(chunk, out);
            break;
        case ElementType::Uint8:
            widen_to_float<uint8_t>(chunk, out);
            break;
        case ElementType::Uint16:
            widen_to_float<uint16_t>(chunk, out);
            break;
        case ElementType::Unsupported:
            break;
    }
}

template <typename T>
void store_float(std::span<const float> samples, std::span<uint8_t> out) {
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const T value = static_cast<T>(samples[i]);
        std::memcpy(out.data() + i * sizeof(T), &value, sizeof(T));
    }
}

// Rounded to nearest (ties to even) and clipped to T's range; double holds every bound exactly.
template <typename T>
void store_integer(std::span<const float> samples, std::span<uint8_t> out) {
    constexpr double low = std::numeric_limits<T>::min();
    constexpr double high = std::numeric_limits<T>::max();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double rounded = std::nearbyint(static_cast<double>(samples[i]));
        const T value = static_cast<T>(std::fmin(std::fmax(rounded, low), high));
        std::memcpy(out.data() + i * sizeof(T), &value, sizeof(T));
    }
}

void from_float32(std::span<const float> samples, ElementType type, std::span<uint8_t> out) {
    switch (type) {
        case ElementType::Float32:
            std::memcpy(out.data(), samples.data(), samples.size_bytes());
            break;
        case ElementType::Float64:
            store_float<double>(samples, out);
            break;
        case ElementType::Int8:
            store_integer<int8_t>(samples, out);
            break;
        case ElementType::Int16:
            store_integer<int16_t>(samples, out);
            break;
        case ElementType::Int32:
            store_integer<int32_t>(samples, out);
            break;
        case ElementType::Uint8:
            store_integer<uint8_t>(samples, out);
            break;
        case ElementType::Uint16:
            store_integer<uint16_t>(samples, out);
            break;
        case ElementType::Unsupported:
            break;
    }
}

// How many leading samples to store: all, unless the chunk ends in a run of NaN after at least
// one other value. An all-NaN chunk is stored whole, so it is refused with the usual message.
std::size_t stored_length(std::span<const float> samples, ElementType type) {
    const bool is_float = type == ElementType::Float32 || type == ElementType::Float64;
    if (!is_float || samples.empty() || !std::isnan(samples.back())) return samples.size();
    std::size_t end = samples.size();
    while (end > 0 && std::isnan(samples[end - 1])) --end;
    return end == 0 ? samples.size() : end;
}

KestovaResult<std::vector<uint8_t>> compress_with(std::span<const float> samples,
                                                  const FilterSettings& settings) {
    if (settings.bound != BoundKind::None) {
        const ErrorBound bound{settings.max_error, settings.bound == BoundKind::Relative};
        const auto method = settings.choose_method
                                ? std::nullopt
                                : std::optional<CompressionMethod>(settings.options.method);
        return compress_bounded(samples, bound, method, settings.options.coder);
    }
    if (settings.encoder == Encoder::Tuned) return compress_tuned(samples, settings.options);
    return compress(samples, settings.options);
}

std::string unsupported_type() {
    return "kestova filter: the dataset's element type is not one Kestova stores "
           "(float32, float64, int8, int16, int32, uint8, uint16, in native byte order)";
}

}  // namespace

std::expected<std::vector<uint8_t>, std::string> encode_chunk(std::span<const uint8_t> chunk,
                                                              ElementType type,
                                                              const FilterSettings& settings) {
    const std::size_t size = element_size(type);
    if (size == 0) return std::unexpected(unsupported_type());
    if (chunk.size() % size != 0) {
        return std::unexpected("kestova filter: a chunk of " + std::to_string(chunk.size()) +
                               " bytes holds no whole number of " +
                               std::string(element_name(type)) + " elements");
    }
    std::vector<float> converted;
    std::span<const float> samples;
    const bool aligned = reinterpret_cast<std::uintptr_t>(chunk.data()) % alignof(float) == 0;
    if (type == ElementType::Float32 && aligned) {
        samples = {reinterpret_cast<const float*>(chunk.data()), chunk.size() / sizeof(float)};
    } else {
        to_float32(chunk, type, converted);
        samples = converted;
    }
    samples = samples.first(stored_length(samples, type));
    const codecs::NonFinite non_finite = codecs::find_non_finite(samples);
    if (non_finite.count > 0) {
        return std::unexpected(
            "kestova filter: refusing a chunk with " + std::to_string(non_finite.count) +
            " non-finite value(s) (NaN or infinity), the first at index " +
            std::to_string(non_finite.first) + ": Kestova would store them as finite numbers");
    }
    auto container = compress_with(samples, settings);
    if (!container) return std::unexpected("kestova filter: " + container.error().message());
    return std::move(*container);
}

std::expected<std::size_t, std::string> decoded_size(std::span<const uint8_t> container,
                                                     ElementType type, uint64_t chunk_elements) {
    const std::size_t size = element_size(type);
    if (size == 0) return std::unexpected(unsupported_type());
    const auto header = KestovaHeader::from_bytes(container);
    if (!header) return std::unexpected("kestova filter: " + header.error().message());
    const bool is_float = type == ElementType::Float32 || type == ElementType::Float64;
    const uint64_t count = header->sample_count;
    // A chunk has at least one element, and the codec writes no empty container.
    if (count == 0 || count > chunk_elements || (count < chunk_elements && !is_float) ||
        chunk_elements > kMaxSamples) {
        return std::unexpected("kestova filter: the container holds " + std::to_string(count) +
                               " samples, but the chunk has " + std::to_string(chunk_elements) +
                               " elements");
    }
    return static_cast<std::size_t>(chunk_elements) * size;
}

std::expected<void, std::string> decode_chunk(std::span<const uint8_t> container, ElementType type,
                                              std::span<uint8_t> out) {
    auto samples = decompress(container);
    if (!samples) return std::unexpected("kestova filter: " + samples.error().message());
    const std::size_t size = element_size(type);
    const std::size_t elements = out.size() / size;
    if (size == 0 || samples->size() > elements) {
        return std::unexpected(std::string("kestova filter: the container does not fit its chunk"));
    }
    // Samples left out at encoding were a trailing run of NaN (float types only).
    samples->resize(elements, std::numeric_limits<float>::quiet_NaN());
    from_float32(*samples, type, out);
    return {};
}

}  // namespace kestova::hdf5
