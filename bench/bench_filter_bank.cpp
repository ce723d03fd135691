// Throughput of the orthogonal filter banks (db4 and sym4, Wrap) per variant: 8-level multi_dwt
// and multi_idwt, as a ratio to a memcpy of the same signal measured in the same run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "engine/undra.h"
#include "engine/util.h"

namespace {

using Clock = std::chrono::steady_clock;

// Best wall time of `runs` calls, in milliseconds.
double best_ms(int runs, const std::function<void()>& body) {
    double best = 1e300;
    for (int r = 0; r < runs; ++r) {
        const auto start = Clock::now();
        body();
        best =
            std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

const char* isa_name(Undra::Isa isa) {
    switch (isa) {
        case Undra::Isa::Portable:
            return "portable";
        case Undra::Isa::Sse:
            return "sse";
        case Undra::Isa::Avx:
            return "avx";
    }
    return "?";
}

}  // namespace

int main() {
    constexpr std::size_t kLevels = 8;
    for (std::size_t n : {std::size_t{1} << 20, std::size_t{1} << 24}) {
        const int runs = n > (1u << 20) ? 3 : 10;
        std::vector<float> signal(n), copy(n);
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> value(-1.0f, 1.0f);
        for (float& v : signal) v = value(rng);
        const double memcpy_ms = best_ms(runs, [&] {
            std::memcpy(copy.data(), signal.data(), n * sizeof(float));
            asm volatile("" : : "r"(copy.data()) : "memory");
        });
        std::printf("n = %zu samples, %zu levels; memcpy %.3f ms\n", n, kLevels, memcpy_ms);
        std::printf("%-10s %-9s %12s %8s %12s %8s\n", "wavelet", "variant", "dwt ms", "x memcpy",
                    "idwt ms", "x memcpy");
        for (const char* wavelet : {"db4", "sym4"}) {
            for (Undra::Isa isa : Undra::supported_isas()) {
                const auto executor = std::string(wavelet) == "db4"
                                          ? Undra::make_daubechies_f32(Undra::DaubechiesFamily::Db4,
                                                                       Undra::BorderMode::Wrap, isa)
                                          : Undra::make_symlet_f32(Undra::SymletFamily::Sym4,
                                                                   Undra::BorderMode::Wrap, isa);
                Undra::MultiDwt dwt;
                // The previous result is released first, as a caller that consumes each
                // decomposition would, so the allocator can recycle its memory.
                const double dwt_ms = best_ms(runs, [&] {
                    dwt = {};
                    dwt = executor->multi_dwt(signal, kLevels).value();
                });
                std::vector<std::span<const float>> details;
                for (const auto& level : dwt.levels) details.emplace_back(level.details);
                const Undra::MultiDwtView view{details, dwt.levels.back().approximations};
                std::size_t out = 0;
                const double idwt_ms =
                    best_ms(runs, [&] { out += executor->multi_idwt(view).value().size(); });
                std::printf("%-10s %-9s %12.3f %8.2f %12.3f %8.2f\n", wavelet, isa_name(isa),
                            dwt_ms, dwt_ms / memcpy_ms, idwt_ms, idwt_ms / memcpy_ms);
            }
        }
        std::printf("\n");
    }
    return 0;
}
