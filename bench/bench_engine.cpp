// Times the engine's multi-level transforms per sample against a memcpy of the same array,
// measured in the same run. Each table entry is one executor; add filter banks as entries.
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "engine/undra.h"

namespace {

// CPU time of this thread: on a shared machine it leaves out the time other processes hold
// the core, which wall time would add at random.
double thread_ns() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

struct Entry {
    std::string name;
    Undra::SharedDwtExecutor executor;
};

constexpr std::size_t kLevels = 8;

// Keeps the compiler from dropping a computation whose result is otherwise unused.
void keep(const void* p) {
    asm volatile("" : : "r"(p) : "memory");
}

// Median thread CPU time of `runs` calls of f, in nanoseconds.
template <class F>
double median_ns(int runs, F&& f) {
    std::vector<double> times;
    f();  // warm caches and the allocator
    for (int r = 0; r < runs; ++r) {
        const double start = thread_ns();
        f();
        times.push_back(thread_ns() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::vector<Entry> entries() {
    std::vector<Entry> table;
    for (Undra::Isa isa : {Undra::Isa::Portable, Undra::Isa::Sse, Undra::Isa::Avx}) {
        if (!Undra::isa_supported(isa)) continue;
        const std::string suffix = isa == Undra::Isa::Avx   ? " avx"
                                   : isa == Undra::Isa::Sse ? " sse"
                                                            : " portable";
        if (isa != Undra::Isa::Sse) {  // the lifting transforms have no SSE form
            table.push_back({"cdf97" + suffix, Undra::make_cdf97_f32(isa)});
            table.push_back({"cdf53" + suffix, Undra::make_cdf53_f32(isa)});
        }
        table.push_back({"db4" + suffix, Undra::make_daubechies_f32(Undra::DaubechiesFamily::Db4,
                                                                    Undra::BorderMode::Wrap, isa)});
        table.push_back({"sym4" + suffix, Undra::make_symlet_f32(Undra::SymletFamily::Sym4,
                                                                 Undra::BorderMode::Wrap, isa)});
    }
    return table;
}

void run(std::size_t n, int runs, const std::vector<Entry>& table) {
    std::vector<float> signal(n), copy(n);
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    for (float& v : signal) v = dist(rng);

    const double memcpy_ns = median_ns(runs, [&] {
        std::memcpy(copy.data(), signal.data(), n * sizeof(float));
        keep(copy.data());
    });
    std::printf("\n%zu samples, %zu levels, median of %d runs; memcpy %.3f ns/sample\n", n, kLevels,
                runs, memcpy_ns / n);
    std::printf("%-16s %12s %10s %12s %10s\n", "executor", "fwd ns/smp", "fwd/memcpy", "inv ns/smp",
                "inv/memcpy");
    for (const Entry& entry : table) {
        auto decomposition = entry.executor->multi_dwt(signal, kLevels);
        if (!decomposition) {
            std::printf("%-16s failed: %s\n", entry.name.c_str(),
                        decomposition.error().message().c_str());
            continue;
        }
        std::vector<std::span<const float>> details;
        for (const Undra::Dwt& level : decomposition->levels) details.emplace_back(level.details);
        const Undra::MultiDwtView view{details, decomposition->levels.back().approximations};

        const double forward_ns = median_ns(runs, [&] {
            auto result = entry.executor->multi_dwt(signal, kLevels);
            keep(&result);
        });
        const double inverse_ns = median_ns(runs, [&] {
            auto result = entry.executor->multi_idwt(view);
            keep(&result);
        });
        std::printf("%-16s %12.3f %10.2f %12.3f %10.2f\n", entry.name.c_str(), forward_ns / n,
                    forward_ns / memcpy_ns, inverse_ns / n, inverse_ns / memcpy_ns);
    }
}

}  // namespace

// Arguments: sample counts to run (default 1M and 16M).
int main(int argc, char** argv) {
    // Keep freed blocks in the process: by default glibc hands large blocks back to the kernel,
    // and every call would then time the kernel's page faults instead of the transform.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    const auto table = entries();
    std::vector<std::size_t> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::stoull(argv[i]));
    if (sizes.empty()) sizes = {std::size_t{1} << 20, std::size_t{1} << 24};
    for (std::size_t n : sizes) run(n, n > (std::size_t{1} << 22) ? 7 : 31, table);
    return 0;
}
