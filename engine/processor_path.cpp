#include "engine/processor_path.h"

#include <array>

#include "engine/util.h"

#if defined(KESTOVA_PATH_OVERRIDE)
#include <atomic>
#include <cstdio>
#include <cstdlib>
#endif

namespace Undra {

namespace {

constexpr std::array kAllIsas{Isa::Portable, Isa::Sse, Isa::Avx};

// Whether a processor with `f` runs `isa` under `rule`: the feature rules of the engine.
bool runs(const CpuFeatures& f, Isa isa, PathRule rule) {
    switch (isa) {
        case Isa::Portable:
            return true;
        case Isa::Sse:
            if (rule == PathRule::ArenaWriter) return f.sse41;
            return rule == PathRule::Executor && f.sse42;
        case Isa::Avx:
            if (rule == PathRule::ArenaWriter) return f.avx2;
            return f.avx2 && f.fma;
    }
    return false;
}

#if defined(KESTOVA_PATH_OVERRIDE)
// The pinned path as its Isa value, or -1 when none is.
std::atomic<int> pinned{-1};
#endif

}  // namespace

Isa best_path(const CpuFeatures& features, PathRule rule) {
    for (const Isa isa : {Isa::Avx, Isa::Sse}) {
        if (runs(features, isa, rule)) return isa;
    }
    return Isa::Portable;
}

Isa select_isa(PathRule rule) {
#if defined(KESTOVA_PATH_OVERRIDE)
    const int value = pinned.load(std::memory_order_relaxed);
    if (value >= 0 && rule != PathRule::ArenaWriter) {
        const auto isa = static_cast<Isa>(value);
        return isa == Isa::Sse && rule == PathRule::ExecutorWithoutSse ? Isa::Portable : isa;
    }
#endif
    return best_path(cpu_features(), rule);
}

bool isa_supported(Isa isa, PathRule rule) {
    return runs(cpu_features(), isa, rule);
}

std::vector<Isa> supported_isas() {
    std::vector<Isa> out;
    for (const Isa isa : kAllIsas) {
        if (isa_supported(isa)) out.push_back(isa);
    }
    return out;
}

std::string_view isa_name(Isa isa) {
    switch (isa) {
        case Isa::Sse:
            return "sse";
        case Isa::Avx:
            return "avx";
        case Isa::Portable:
            break;
    }
    return "portable";
}

std::optional<Isa> isa_from_name(std::string_view name) {
    for (const Isa isa : kAllIsas) {
        if (isa_name(isa) == name) return isa;
    }
    return std::nullopt;
}

#if defined(KESTOVA_PATH_OVERRIDE)
ScopedIsaOverride::ScopedIsaOverride(Isa isa) {
    if (!isa_supported(isa)) {
        std::fprintf(stderr, "This processor cannot run the %s path\n", isa_name(isa).data());
        std::abort();
    }
    const int before = pinned.exchange(static_cast<int>(isa), std::memory_order_relaxed);
    if (before >= 0) previous_ = static_cast<Isa>(before);
}

ScopedIsaOverride::~ScopedIsaOverride() {
    pinned.store(previous_ ? static_cast<int>(*previous_) : -1, std::memory_order_relaxed);
}
#endif

}  // namespace Undra
