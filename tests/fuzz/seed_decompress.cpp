// Writes seed containers for fuzz_decompress into the directory argv[1]: every method with both
// coders, at several lengths, scales and cutoffs.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "codec/compressor.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    using kestova::CompressionMethod;
    using kestova::CutoffLevel;
    using kestova::EntropyCoder;
    int written = 0;
    for (auto method : {CompressionMethod::Cdf53, CompressionMethod::Cdf97, CompressionMethod::Db4,
                        CompressionMethod::Sym4}) {
        for (auto coder : {EntropyCoder::Deflate, EntropyCoder::Arans}) {
            for (std::size_t n : {1u, 7u, 33u, 100u, 1000u}) {
                std::vector<float> x(n);
                for (std::size_t i = 0; i < n; ++i)
                    x[i] = std::sin(0.3f * static_cast<float>(i)) + 0.01f * (i % 7);
                const uint8_t scale = static_cast<uint8_t>(6 + (n + written) % 7);
                const auto cutoff = static_cast<CutoffLevel>(n % 3);
                const auto bytes = kestova::compress(x, {cutoff, coder, method, scale});
                if (!bytes) {
                    std::fprintf(stderr, "%s\n", bytes.error().message().c_str());
                    return 1;
                }
                const std::string path =
                    std::string(argv[1]) + "/seed_" + std::to_string(written++);
                std::ofstream(path, std::ios::binary)
                    .write(reinterpret_cast<const char*>(bytes->data()),
                           static_cast<std::streamsize>(bytes->size()));
            }
        }
    }
    std::printf("wrote %d seeds\n", written);
    return 0;
}
