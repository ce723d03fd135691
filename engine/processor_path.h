// The processor-path selector: which variant of an executor, or of the padding-arena writer, runs
// on this processor. Every rule that maps processor features to a path is here (best_path), and
// so are the paths' names.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace Undra {

struct CpuFeatures;

// Instruction-set variant of an executor.
enum class Isa { Portable, Sse, Avx };

// Whether this build holds the SSE and AVX variants: they exist only for x86 processors (CMake
// compiles engine/sse and engine/avx only there). Elsewhere the factories build the portable
// variant for every Isa, and isa_supported says Sse and Avx are not available.
#if defined(__x86_64__) || defined(__i386__)
#define UNDRA_X86_VARIANTS 1
#else
#define UNDRA_X86_VARIANTS 0
#endif
inline constexpr bool kX86VariantsBuilt = UNDRA_X86_VARIANTS != 0;

// What a selection is for, which fixes the forms it chooses among and the features each needs.
enum class PathRule {
    // An executor with an SSE form: Avx with AVX2 and FMA, else Sse with SSE4.2, else Portable.
    Executor,
    // An executor without one (the lifting transforms): Avx with AVX2 and FMA, else Portable.
    ExecutorWithoutSse,
    // The padding-arena writer: Avx with AVX2, else Sse with SSE4.1, else Portable. It only copies
    // and gathers (no fused multiply-add, no SSE4.2 instruction) and writes the same arena on
    // every path, so it asks for less; its choice is made once per process (filter_padding.h).
    ArenaWriter,
};

// The path `rule` picks on a processor with `features`.
Isa best_path(const CpuFeatures& features, PathRule rule);

// The path `rule` picks on this processor; in test builds, the pinned one while a
// ScopedIsaOverride is alive (executor rules only).
Isa select_isa(PathRule rule = PathRule::Executor);

// True when this processor can run `isa` under `rule`.
bool isa_supported(Isa isa, PathRule rule = PathRule::Executor);

// Every executor path this processor can run, Portable first; tests iterate over it.
std::vector<Isa> supported_isas();

// The lower-case name of a path ("portable", "sse", "avx").
std::string_view isa_name(Isa isa);

// The path that isa_name gives `name`, or nothing.
std::optional<Isa> isa_from_name(std::string_view name);

#if defined(KESTOVA_PATH_OVERRIDE)
// Test builds only (tests, benchmarks and fuzz targets get KESTOVA_PATH_OVERRIDE and link the
// selector built with it; the shipped modules hold no such state). While alive, every executor
// selection gives `isa`, or Portable for an executor without that form, so that a whole codec
// call runs on one path. Pinning a path this processor cannot run aborts. Guards nest; they are
// not meant for concurrent use.
class ScopedIsaOverride {
  public:
    explicit ScopedIsaOverride(Isa isa);
    ~ScopedIsaOverride();
    ScopedIsaOverride(const ScopedIsaOverride&) = delete;
    ScopedIsaOverride& operator=(const ScopedIsaOverride&) = delete;

  private:
    std::optional<Isa> previous_;
};
#endif

}  // namespace Undra
