// Encodes arbitrary samples with a target taken from the input and checks the promise: whenever
// encoding succeeds, the stream decodes to samples within the target (exactly the samples for a
// target of 0); a refusal carries a message. The same bytes, read as residuals, round-trip
// through the table coder and through coder 2's block layout (which a signal reaches only from
// 2^18 samples on).
// Input: byte 0 picks the element type (mod 8), byte 1 the target (mod 8: exact, relative
// 1e-1 .. 1e-6, absolute 2.5), the rest are the samples' bytes.
#pragma once

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "codec/v2/block_modes.h"
#include "codec/v2/decoder.h"
#include "codec/v2/element_dispatch.h"
#include "codec/v2/encoder.h"
#include "codec/v2/table_coder.h"
#include "tests/fuzz/fuzz_check.h"

namespace kestova::fuzz {

// Every 4 bytes as an int32 v, the residual 2v + (v < 0): every class from 0 to 32.
inline CheckResult check_residual_coders(Input data) {
    std::vector<int64_t> residuals(data.size() / 4);
    for (std::size_t i = 0; i < residuals.size(); ++i) {
        int32_t v;
        std::memcpy(&v, data.data() + 4 * i, 4);
        residuals[i] = 2 * int64_t{v} + (v < 0 ? 1 : 0);
    }
    for (int coder = 0; coder < 2; ++coder) {
        std::vector<uint8_t> block;
        if (coder == 0) {
            v2::encode_table_block(residuals, SIZE_MAX, block);
        } else {
            v2::encode_residuals(v2::kModeBlocksCoder, residuals, block);
        }
        std::vector<int64_t> back(residuals.size());
        const bool whole = coder == 0 ? v2::decode_table_block(block, back)
                                      : v2::decode_residuals(v2::kModeBlocksCoder, block, back);
        if (!whole || back != residuals)
            return violated("a block of residuals does not round-trip");
    }
    return {};
}

inline CheckResult check_v2_encode(Input data) {
    if (auto coded = check_residual_coders(data); !coded) return coded;
    if (data.size() < 2) return {};
    const ElementTypeRow row =
        *v2::element_row(static_cast<uint8_t>(1 + data[0] % kElementTypes.size()));
    constexpr std::array<v2::MaxError, 8> kTargets{{{0.0, true},
                                                    {1e-1, true},
                                                    {1e-2, true},
                                                    {1e-3, true},
                                                    {1e-4, true},
                                                    {1e-5, true},
                                                    {1e-6, true},
                                                    {2.5, false}}};
    const v2::MaxError target = kTargets[data[1] % kTargets.size()];
    const std::size_t count = (data.size() - 2) / row.size;
    std::vector<uint8_t> raw(data.begin() + 2, data.begin() + 2 + count * row.size);

    return v2::with_element_type(row.type, [&]<typename T>(std::type_identity<T>) -> CheckResult {
        std::vector<T> x(count);
        if (count > 0) std::memcpy(x.data(), raw.data(), raw.size());
        const auto encoded = v2::encode({row.type, x.data(), x.size()}, target);
        if (!encoded) {
            if (encoded.error().message().empty()) return violated("a refusal without a message");
            return {};
        }
        const auto decoded = v2::decode(encoded->stream);
        if (!decoded) return violated("an encoded stream does not decode");
        if (decoded->samples.size() != raw.size()) return violated("wrong decoded size");
        double lo = 0.0;
        double hi = 0.0;
        for (std::size_t i = 0; i < count; ++i) {
            const double v = static_cast<double>(x[i]);
            lo = i == 0 ? v : std::min(lo, v);
            hi = i == 0 ? v : std::max(hi, v);
        }
        const double bound = target.relative ? target.value * (hi - lo) : target.value;
        for (std::size_t i = 0; i < count; ++i) {
            T y;
            std::memcpy(&y, decoded->samples.data() + i * sizeof(T), sizeof(T));
            if (std::abs(static_cast<double>(y) - static_cast<double>(x[i])) > bound) {
                return violated("a decoded sample is beyond the target");
            }
        }
        return {};
    });
}

}  // namespace kestova::fuzz
