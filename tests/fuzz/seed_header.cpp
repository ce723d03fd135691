// Writes seed headers for fuzz_header into the directory argv[1]: one valid header per method
// and coder, and one with a short payload behind it.
#include <array>
#include <cstdint>
#include <string>

#include "codec/header.h"
#include "codec/method_table.h"
#include "codec/options.h"
#include "tests/fuzz/seed_output.h"

int main(int argc, char** argv) {
    const auto directory = kestova::fuzz::corpus_directory(argc, argv);
    if (!directory) return 2;
    int k = 0;
    for (const kestova::MethodEntry& method : kestova::kMethods) {
        for (const kestova::EntropyCoder coder : kestova::kRecordedCoders) {
            constexpr int kScales = kestova::kMaxScale - kestova::kMinScale + 1;
            kestova::HeaderFields f{method.tag,
                                    static_cast<uint8_t>(3 + k % 6),
                                    static_cast<uint8_t>(kestova::kMinScale + k % kScales),
                                    kestova::coder_byte(coder),
                                    1000u + static_cast<uint32_t>(k),
                                    -1.0f,
                                    1.0f,
                                    0.0f,
                                    k == 0 ? 4u : 0u};
            std::array<uint8_t, kestova::HEADER_SIZE + 4> bytes{};
            kestova::write_header(
                f, std::span<uint8_t, kestova::HEADER_SIZE>(bytes.data(), kestova::HEADER_SIZE));
            const std::size_t size = k == 0 ? bytes.size() : kestova::HEADER_SIZE;
            kestova::fuzz::write_seed(*directory, "header-" + std::to_string(k++),
                                      {bytes.begin(), bytes.begin() + size});
        }
    }
    return 0;
}
