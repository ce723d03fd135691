// What the C interface costs: compressing one signal through kestova_compress (the library's
// memory) and kestova_compress_into (a caller buffer) against kestova::compress called directly,
// in interleaved rounds of the same run; the median CPU time of each and its ratio to the
// direct call. The three must write the same stream.
// Usage: bench_capi [SAMPLES] [ROUNDS]   (defaults 1000000 and 15; the processor's best path)
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <span>
#include <vector>

#include "codec/compressor.h"
#include "kestova/kestova.h"

namespace {

double cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// A recording-like signal: slow oscillations with a little noise.
std::vector<float> signal(std::size_t n) {
    std::mt19937 rng(11);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i);
        x[i] = static_cast<float>(std::sin(t * 0.001) + 0.3 * std::sin(t * 0.0173)) + noise(rng);
    }
    return x;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 15;
    const std::vector<float> x = signal(n);

    std::vector<uint8_t> direct;
    std::vector<uint8_t> into(n * sizeof(float) + 4096);
    std::size_t into_size = 0;
    uint8_t* allocated = nullptr;
    std::size_t allocated_size = 0;
    bool failed = false;
    struct Variant {
        const char* name;
        std::function<void()> run;
        std::vector<double> times;
    };
    std::vector<Variant> variants{
        {"kestova::compress (direct)",
         [&] {
             auto stream = kestova::compress(x, {});
             failed |= !stream;
             if (stream) direct = std::move(*stream);
         },
         {}},
        {"kestova_compress",
         [&] {
             kestova_free(allocated);
             allocated = nullptr;
             failed |= kestova_compress(x.data(), n, nullptr, &allocated, &allocated_size,
                                        nullptr) != KESTOVA_OK;
         },
         {}},
        {"kestova_compress_into",
         [&] {
             failed |= kestova_compress_into(x.data(), n, nullptr, into.data(), into.size(),
                                             &into_size, nullptr) != KESTOVA_OK;
         },
         {}},
    };
    for (Variant& variant : variants) variant.run();  // warm-up
    for (int round = 0; round < rounds; ++round) {
        for (Variant& variant : variants) {
            const double start = cpu_seconds();
            variant.run();
            variant.times.push_back(cpu_seconds() - start);
        }
    }
    const bool same = !failed && allocated_size == direct.size() && into_size == direct.size() &&
                      std::equal(direct.begin(), direct.end(), allocated) &&
                      std::equal(direct.begin(), direct.end(), into.begin());
    kestova_free(allocated);
    if (!same) {
        std::fprintf(stderr, "the three calls did not write the same stream\n");
        return 1;
    }
    std::printf("%zu samples, %d interleaved rounds, median CPU time (stream %zu bytes)\n", n,
                rounds, direct.size());
    const double baseline = median(variants[0].times);
    for (const Variant& variant : variants) {
        const double t = median(variant.times);
        std::printf("  %-28s %8.2f ms  %6.3f x direct\n", variant.name, 1e3 * t, t / baseline);
    }
    return 0;
}
