// decode_kst IN.kst OUT.f32: any Kestova stream or .kst file to raw little-endian float32.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include <kestova/kestova.hpp>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s IN.kst OUT.f32\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
    const auto samples = kestova::lib::decompress(file);
    if (!samples) {
        std::fprintf(stderr, "decoding failed: %s\n", samples.error().message.c_str());
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(samples->data()),
              static_cast<std::streamsize>(samples->size() * sizeof(float)));
    if (!out.flush()) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("%zu bytes -> %zu samples\n", file.size(), samples->size());
    return 0;
}
