// Writes seed containers for fuzz_decompress into the directory argv[1]: every method with both
// coders, at several lengths, scales and cutoffs.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "codec/compressor.h"
#include "codec/method_table.h"
#include "codec/options.h"
#include "tests/fuzz/seed_output.h"

int main(int argc, char** argv) {
    const auto directory = kestova::fuzz::corpus_directory(argc, argv);
    if (!directory) return 2;
    using kestova::CompressionMethod;
    using kestova::CutoffLevel;
    int written = 0;
    for (std::size_t m = 0; m < kestova::kMethods.size(); ++m) {
        const auto method = static_cast<CompressionMethod>(m);
        for (const auto coder : kestova::kRecordedCoders) {
            for (std::size_t n : {1u, 7u, 33u, 100u, 1000u}) {
                std::vector<float> x(n);
                for (std::size_t i = 0; i < n; ++i)
                    x[i] = std::sin(0.3f * static_cast<float>(i)) + 0.01f * (i % 7);
                constexpr int kScales = kestova::kMaxScale - kestova::kMinScale + 1;
                const auto scale =
                    static_cast<uint8_t>(kestova::kMinScale + (n + written) % kScales);
                const CutoffLevel cutoff =
                    kestova::kCutoffLevels[n % kestova::kCutoffLevels.size()];
                const auto bytes = kestova::compress(x, {cutoff, coder, method, scale});
                if (!bytes) {
                    std::fprintf(stderr, "%s\n", bytes.error().message().c_str());
                    return 1;
                }
                kestova::fuzz::write_seed(*directory, "seed_" + std::to_string(written++), *bytes);
            }
        }
    }
    std::printf("wrote %d seeds\n", written);
    return 0;
}
