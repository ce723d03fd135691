#include "engine/processor_path.h"

#include <gtest/gtest.h>

#include "engine/util.h"

namespace Undra {
namespace {

struct PathCase {
    CpuFeatures features;
    Isa executor, without_sse, arena_writer;
};

TEST(ProcessorPath, EachRuleMapsFeaturesToItsPath) {
    // {sse41, sse42, avx2, fma}: AVX2 without FMA is enough only for the arena writer, SSE4.1
    // without SSE4.2 likewise.
    const PathCase cases[] = {
        {{}, Isa::Portable, Isa::Portable, Isa::Portable},
        {{true, false, false, false}, Isa::Portable, Isa::Portable, Isa::Sse},
        {{true, true, false, false}, Isa::Sse, Isa::Portable, Isa::Sse},
        {{true, true, true, false}, Isa::Sse, Isa::Portable, Isa::Avx},
        {{true, true, false, true}, Isa::Sse, Isa::Portable, Isa::Sse},
        {{true, true, true, true}, Isa::Avx, Isa::Avx, Isa::Avx},
        {{false, false, true, true}, Isa::Avx, Isa::Avx, Isa::Avx},
    };
    for (const PathCase& c : cases) {
        const CpuFeatures& f = c.features;
        SCOPED_TRACE(::testing::Message() << f.sse41 << f.sse42 << f.avx2 << f.fma);
        EXPECT_EQ(best_path(f, PathRule::Executor), c.executor);
        EXPECT_EQ(best_path(f, PathRule::ExecutorWithoutSse), c.without_sse);
        EXPECT_EQ(best_path(f, PathRule::ArenaWriter), c.arena_writer);
    }
}

TEST(ProcessorPath, ThisProcessorsChoiceAndNames) {
    EXPECT_EQ(&cpu_features(), &cpu_features());  // cached, one record per process
    for (const PathRule rule :
         {PathRule::Executor, PathRule::ExecutorWithoutSse, PathRule::ArenaWriter}) {
        EXPECT_EQ(select_isa(rule), best_path(cpu_features(), rule));
        EXPECT_TRUE(isa_supported(select_isa(rule), rule));
    }
    EXPECT_EQ(supported_isas().front(), Isa::Portable);
    for (const Isa isa : {Isa::Portable, Isa::Sse, Isa::Avx}) {
        EXPECT_EQ(isa_from_name(isa_name(isa)), isa);
    }
    EXPECT_EQ(isa_from_name("neon"), std::nullopt);
}

TEST(ProcessorPath, OverridePinsExecutorsNestsAndRestores) {
    const Isa best = select_isa();
    for (const Isa outer : supported_isas()) {
        {
            const ScopedIsaOverride pin(outer);
            EXPECT_EQ(select_isa(), outer);
            EXPECT_EQ(select_isa(PathRule::ExecutorWithoutSse),
                      outer == Isa::Sse ? Isa::Portable : outer);
            // The arena writer is chosen once per process: no pin reaches it.
            EXPECT_EQ(select_isa(PathRule::ArenaWriter),
                      best_path(cpu_features(), PathRule::ArenaWriter));
            {
                const ScopedIsaOverride inner(Isa::Portable);
                EXPECT_EQ(select_isa(), Isa::Portable);
            }
            EXPECT_EQ(select_isa(), outer);
        }
        EXPECT_EQ(select_isa(), best);
    }
}

}  // namespace
}  // namespace Undra
