// Runs one signal through the portable and every vector variant of each codec method (CDF 9/7,
// CDF 5/3, Daubechies-4 and Symlet-4 with periodic borders), analysis and synthesis over several
// levels: the variants must fail alike or agree within rounding, and the portable synthesis must
// give the signal back. Byte 0 picks the method, byte 1 the level count (1 to 8), byte 2 the
// magnitude (2^-40 to 2^40); the rest are the samples as little-endian int16 values.
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "codec/method_table.h"
#include "engine/processor_path.h"
#include "tests/cpp/support/codec_paths.h"
#include "tests/fuzz/fuzz_check.h"

namespace kestova::fuzz {

namespace transforms {

// Products and sums of one level differ between variants by a few units in the last place of
// the level's magnitude (grouping, fused multiply-add); 2^-16 of it leaves room for eight levels
// while a wrong tap, index or border would be off by a good part of the magnitude itself.
inline constexpr float kRelativeTolerance = 1.0f / 65536.0f;

// The executor of the table's method `method` (modulo the method count) on path `isa`.
inline Undra::SharedDwtExecutor make(uint8_t method, Undra::Isa isa) {
    return testing_support::on_path(isa, kMethods[method % kMethods.size()].make_executor);
}

// The signal of the input: int16 samples scaled by a power of two, so that no variant meets
// overflow or subnormal results.
inline std::vector<float> signal(Input data) {
    const int exponent = data[2] % 81 - 40 - 15;
    std::vector<float> x((data.size() - 3) / 2);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const auto v = static_cast<int16_t>(data[3 + 2 * i] | data[4 + 2 * i] << 8);
        x[i] = std::ldexp(static_cast<float>(v), exponent);
    }
    return x;
}

// Every |want[i] - got[i]| within `tolerance`, and equal lengths.
inline CheckResult agree(std::span<const float> want, std::span<const float> got, float tolerance,
                         const std::string& what) {
    if (want.size() != got.size()) return violated(what + ": lengths differ");
    for (std::size_t i = 0; i < want.size(); ++i) {
        if (!(std::fabs(want[i] - got[i]) <= tolerance)) {
            return violated(what + ": sample " + std::to_string(i) + " is " +
                            std::to_string(got[i]) + ", want " + std::to_string(want[i]));
        }
    }
    return {};
}

// The magnitude of level `level`'s coefficients: each analysis step may grow it by sqrt(2).
inline float level_scale(float magnitude, std::size_t level) {
    return magnitude * std::ldexp(1.0f, static_cast<int>(level / 2 + 1));
}

// The vector variants this processor runs.
inline std::vector<Undra::Isa> vector_isas() {
    std::vector<Undra::Isa> isas = Undra::supported_isas();
    std::erase(isas, Undra::Isa::Portable);
    return isas;
}

// Every level of `got` within rounding of `want`.
inline CheckResult levels_agree(const Undra::MultiDwt& want, const Undra::MultiDwt& got,
                                float magnitude, const std::string& what) {
    if (got.levels.size() != want.levels.size()) return violated(what + ": level counts differ");
    for (std::size_t level = 0; level < want.levels.size(); ++level) {
        const float tolerance = kRelativeTolerance * level_scale(magnitude, level);
        const std::string at = what + " level " + std::to_string(level);
        const Undra::Dwt& w = want.levels[level];
        const Undra::Dwt& g = got.levels[level];
        if (auto r = agree(w.approximations, g.approximations, tolerance, at + " approximations");
            !r) {
            return r;
        }
        if (auto r = agree(w.details, g.details, tolerance, at + " details"); !r) return r;
    }
    return {};
}

}  // namespace transforms

inline CheckResult check_transforms(Input data) {
    using namespace transforms;
    if (data.size() < 3) return {};
    const std::vector<float> x = signal(data);
    const std::size_t levels = data[1] % 8 + 1;
    const std::string method = "method " + std::to_string(data[0] % kMethods.size());
    float magnitude = 0.0f;
    for (const float v : x) magnitude = std::max(magnitude, std::fabs(v));

    const auto reference = make(data[0], Undra::Isa::Portable);
    const auto forward = reference->multi_dwt(x, levels);
    if (!forward) {
        for (const Undra::Isa isa : vector_isas()) {
            const auto got = make(data[0], isa)->multi_dwt(x, levels);
            if (got || got.error().message() != forward.error().message()) {
                return violated(method + " on " + std::string(Undra::isa_name(isa)) +
                                ": analysis fails differently");
            }
        }
        return {};
    }

    std::vector<std::span<const float>> details;
    for (const Undra::Dwt& level : forward->levels) details.emplace_back(level.details);
    const Undra::MultiDwtView view{details, forward->levels.back().approximations};
    const auto inverse = reference->multi_idwt(view);
    if (!inverse) return violated(method + ": synthesis fails: " + inverse.error().message());
    const float synthesis_tolerance = kRelativeTolerance * level_scale(magnitude, levels);
    if (inverse->size() < x.size()) return violated(method + ": synthesis is short");
    const auto head = std::span<const float>(*inverse).first(x.size());
    if (auto r = agree(x, head, synthesis_tolerance, method + " reconstruction"); !r) return r;

    for (const Undra::Isa isa : vector_isas()) {
        const std::string what = method + " on " + std::string(Undra::isa_name(isa));
        const auto variant = make(data[0], isa);
        const auto got = variant->multi_dwt(x, levels);
        if (!got) return violated(what + ": analysis fails: " + got.error().message());
        if (auto r = levels_agree(*forward, *got, magnitude, what); !r) return r;
        const auto back = variant->multi_idwt(view);
        if (!back) return violated(what + ": synthesis fails: " + back.error().message());
        if (auto r = agree(*inverse, *back, synthesis_tolerance, what + " synthesis"); !r) return r;
    }
    return {};
}

}  // namespace kestova::fuzz
