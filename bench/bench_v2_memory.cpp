// Peak memory of version-2 encoding and decoding beyond what the caller holds: for float32,
// float64 and int32 sources and each target, the largest amount of heap the call had in use at
// once beyond the samples (encoding) or beyond the stream and the output buffer (decoding), in
// bytes per sample, against the version-2 target of 12. Counted by this program's own operator
// new, so the figures are the codec's allocations, exact and the same on every run.
//   bench_v2_memory [--samples N] [FILE.f32]
// The signal is the file's float32 samples tiled to N (10M by default), else a synthetic one
// (tones and a random walk, whole numbers, so that int32 holds it exactly).
#include <malloc.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "codec/v2/decoder.h"
#include "codec/v2/encoder.h"
#include "codec/v2/rate_target.h"

namespace {

std::atomic<long> g_in_use{0};
std::atomic<long> g_peak{0};

void count(long bytes) {
    const long now = g_in_use += bytes;
    long peak = g_peak;
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}

// The heap in use at the call's peak beyond what was in use before it, per sample.
template <typename Call>
double peak_per_sample(std::size_t samples, Call&& call) {
    const long before = g_in_use;
    g_peak = before;
    call();
    return static_cast<double>(g_peak - before) / static_cast<double>(samples);
}

}  // namespace

void* operator new(std::size_t size) {
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) throw std::bad_alloc();
    count(static_cast<long>(malloc_usable_size(memory)));
    return memory;
}
void operator delete(void* memory) noexcept {
    if (memory == nullptr) return;
    count(-static_cast<long>(malloc_usable_size(memory)));
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    operator delete(memory);
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete[](void* memory) noexcept {
    operator delete(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    operator delete(memory);
}

namespace {

using namespace kestova;
using namespace kestova::v2;

constexpr double kLimit = 12.0;  // bytes per sample beyond the input

std::vector<double> signal(const char* path, std::size_t samples) {
    std::vector<double> x(samples);
    if (path != nullptr) {
        std::ifstream in(path, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        std::vector<float> recording(bytes.size() / sizeof(float));
        std::memcpy(recording.data(), bytes.data(), recording.size() * sizeof(float));
        if (recording.empty()) return {};
        for (std::size_t i = 0; i < samples; ++i) x[i] = recording[i % recording.size()];
        return x;
    }
    std::mt19937 random(7);
    std::normal_distribution<double> step(0.0, 20.0);
    double walk = 0.0;
    for (std::size_t i = 0; i < samples; ++i) {
        walk += step(random);
        x[i] = std::round(3000.0 * std::sin(0.013 * double(i)) +
                          400.0 * std::sin(0.41 * double(i)) + std::fmod(walk, 5000.0));
    }
    return x;
}

struct Source {
    const char* name;
    ElementType type;
    std::size_t size;
};
constexpr Source kSources[] = {{"float32", ElementType::Float32, 4},
                               {"float64", ElementType::Float64, 8},
                               {"int32", ElementType::Int32, 4}};

struct Target {
    const char* name;
    KestovaResult<Encoded> (*encode)(SampleView);
};
const Target kTargets[] = {
    {"max_error 1e-3",
     [](SampleView s) {
         return encode(s, {1e-3, true});
     }},
    {"max_error 1e-6",
     [](SampleView s) {
         return encode(s, {1e-6, true});
     }},
    {"psnr 50", [](SampleView s) { return encode_psnr(s, 50.0); }},
    {"psnr 80", [](SampleView s) { return encode_psnr(s, 80.0); }},
    {"bits_per_sample 4", [](SampleView s) { return encode_bits_per_sample(s, 4.0); }},
};

std::vector<uint8_t> elements_of(const std::vector<double>& x, const Source& source) {
    std::vector<uint8_t> bytes(x.size() * source.size);
    for (std::size_t i = 0; i < x.size(); ++i) {
        uint8_t* at = bytes.data() + i * source.size;
        if (source.type == ElementType::Float32) {
            const auto value = static_cast<float>(x[i]);
            std::memcpy(at, &value, sizeof value);
        } else if (source.type == ElementType::Float64) {
            std::memcpy(at, &x[i], sizeof x[i]);
        } else {
            const auto value = static_cast<int32_t>(std::lround(x[i]));
            std::memcpy(at, &value, sizeof value);
        }
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t samples = 10'000'000;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--samples") == 0 && i + 1 < argc) {
            samples = std::strtoull(argv[++i], nullptr, 10);
        } else {
            path = argv[i];
        }
    }
    const std::vector<double> x = signal(path, samples);
    if (x.empty()) {
        std::fprintf(stderr, "no samples in %s\n", path);
        return 1;
    }
    std::printf(
        "%zu samples (%s); heap at the peak beyond the caller's buffers, bytes per sample "
        "(limit %.0f)\n",
        samples, path != nullptr ? path : "synthetic", kLimit);
    std::printf("%-8s %-18s %10s %8s %8s\n", "source", "target", "stream B", "encode", "decode");
    int over = 0;
    for (const Source& source : kSources) {
        const std::vector<uint8_t> elements = elements_of(x, source);
        const SampleView view{source.type, elements.data(), samples};
        for (const Target& target : kTargets) {
            KestovaResult<Encoded> encoded;
            const double encoding =
                peak_per_sample(samples, [&] { encoded = target.encode(view); });
            if (!encoded) {
                std::printf("%-8s %-18s refused: %s\n", source.name, target.name,
                            encoded.error().message().c_str());
                continue;
            }
            const std::vector<uint8_t> stream = std::move(encoded->stream);
            encoded = KestovaResult<Encoded>();
            std::vector<uint8_t> out(elements.size());
            bool decoded = false;
            const double decoding = peak_per_sample(samples, [&] {
                const auto info = read_stream_info(stream);
                decoded = info && decode_into(*info, out).has_value();
            });
            over += (encoding > kLimit) + (decoding > kLimit);
            std::printf("%-8s %-18s %10zu %8.2f %8.2f%s%s\n", source.name, target.name,
                        stream.size(), encoding, decoding, decoded ? "" : "  (decoding failed)",
                        encoding > kLimit || decoding > kLimit ? "  over the limit" : "");
        }
    }
    std::printf("%d of %zu figures over the limit\n", over,
                2 * std::size(kSources) * std::size(kTargets));
    return 0;
}
