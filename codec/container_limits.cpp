#include "codec/container_limits.h"

#include <limits>
#include <string>
#include <utility>

#include "codec/arans/arans.h"

namespace kestova {

KestovaResult<uint8_t> select_coder(EntropyCoder requested, uint64_t image_bytes) {
    if (requested == EntropyCoder::Deflate) return coder_byte(EntropyCoder::Deflate);
    const uint64_t pairs = image_bytes / 2;
    if (pairs <= arans::kMaxPairCount) return coder_byte(EntropyCoder::Arans);
    if (requested == EntropyCoder::Arans) {
        return std::unexpected(KestovaError::unsupported_configuration(
            "The arans coder takes at most " + std::to_string(arans::kMaxPairCount) +
            " coefficients, but the signal has " + std::to_string(pairs) +
            "; use the deflate coder"));
    }
    return coder_byte(EntropyCoder::Deflate);
}

KestovaResult<uint32_t> payload_length_field(uint64_t payload_bytes) {
    constexpr uint64_t kMax = std::numeric_limits<uint32_t>::max();
    if (payload_bytes > kMax) {
        return std::unexpected(KestovaError::unsupported_configuration(
            "Compressed payload of " + std::to_string(payload_bytes) +
            " bytes exceeds the header's limit of " + std::to_string(kMax) + " bytes"));
    }
    return static_cast<uint32_t>(payload_bytes);
}

KestovaResult<void> check_container_limits(const KestovaHeader& header) {
    const auto failed = [](std::string text) {
        return std::unexpected(KestovaError::decompression_failed(std::move(text)));
    };
    if (header.sample_count > kMaxSamples) {
        return failed("Can't decompress data bigger than " + std::to_string(kMaxSamples) +
                      ", but data was " + std::to_string(header.sample_count));
    }
    if (header.levels > kMaxContainerLevels) {
        return failed("Max supported level is " + std::to_string(kMaxContainerLevels) +
                      " but it was " + std::to_string(header.levels));
    }
    if (header.levels < kMinContainerLevels) {
        return failed("Min supported level is " + std::to_string(kMinContainerLevels) +
                      " but it was " + std::to_string(header.levels));
    }
    return {};
}

}  // namespace kestova
