// Throughput and peak memory of compress and decompress for every method and coder, on a smooth
// signal and on white noise, with raw deflate level 6 of the same coefficient image as the
// baseline measured in the same run.
// Usage: bench_codec [--isa portable|sse|avx] [SIZE...]   (default sizes: 1000000 10000000;
// default path: the processor's best, as the module uses it)
#include <malloc.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "codec/compressor.h"
#include "codec/decompressor.h"
#include "codec/header.h"
#include "codec/method_executor.h"
#include "codec/method_table.h"
#include "engine/processor_path.h"

namespace {

using Clock = std::chrono::steady_clock;
using kestova::EntropyCoder;

// The codec's entry points, on the path the engine selects (pinned by --isa).
struct Codec {
    kestova::KestovaResult<std::vector<uint8_t>> compress(std::span<const float> x,
                                                          kestova::CompressionOptions o) const {
        return kestova::compress(x, o);
    }
    kestova::KestovaResult<std::vector<float>> decompress(std::span<const uint8_t> bytes) const {
        return kestova::decompress(bytes);
    }
};

std::vector<float> smooth_signal(std::size_t n) {
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i);
        x[i] = static_cast<float>(std::sin(t * 0.001) + 0.3 * std::sin(t * 0.0173) +
                                  0.05 * std::sin(t * 0.31));
    }
    return x;
}

std::vector<float> noise_signal(std::size_t n) {
    std::mt19937 rng(7);
    std::normal_distribution<float> dist(0.0f, 1.0f);
    std::vector<float> x(n);
    for (float& v : x) v = dist(rng);
    return x;
}

// Best wall time in seconds of `reps` runs of f.
template <typename F>
double best_time(int reps, F&& f) {
    double best = 1e30;
    for (int r = 0; r < reps; ++r) {
        const auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

// Live and peak bytes of every heap allocation (counted by the allocator overrides below).
std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};

// Peak heap bytes that one compress adds above its input and output, per sample.
double compress_peak_bytes_per_sample(const Codec& codec, std::span<const float> x,
                                      kestova::CompressionOptions o) {
    const std::size_t base = g_live.load();
    g_peak.store(base);
    const auto out = codec.compress(x, o);
    if (!out) return -1;
    const double peak =
        static_cast<double>(g_peak.load() - base) - static_cast<double>(out->capacity());
    return peak / static_cast<double>(x.size());
}

std::vector<uint8_t> inflate_payload(std::span<const uint8_t> container, std::size_t image_bytes) {
    std::vector<uint8_t> image(image_bytes);
    uLongf length = image.size();
    z_stream s{};
    inflateInit2(&s, -15);
    s.next_in = const_cast<Bytef*>(container.data() + kestova::HEADER_SIZE);
    s.avail_in = static_cast<uInt>(container.size() - kestova::HEADER_SIZE);
    s.next_out = image.data();
    s.avail_out = static_cast<uInt>(length);
    inflate(&s, Z_FINISH);
    image.resize(s.total_out);
    inflateEnd(&s);
    return image;
}

// Seconds of one raw deflate at level 6 of `image` into the preallocated `out`.
double zlib_deflate_seconds(const std::vector<uint8_t>& image, std::vector<uint8_t>& out) {
    return best_time(1, [&] {
        z_stream s{};
        deflateInit2(&s, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        s.next_in = const_cast<Bytef*>(image.data());
        s.avail_in = static_cast<uInt>(image.size());
        s.next_out = out.data();
        s.avail_out = static_cast<uInt>(out.size());
        deflate(&s, Z_FINISH);
        deflateEnd(&s);
    });
}

}  // namespace

// Every heap allocation of the process (the codec, the coder, zlib and operator new all go
// through these) is counted by its usable size; the real work is glibc's.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

static void* counted(void* p) {
    if (p == nullptr) return p;
    const std::size_t size = malloc_usable_size(p);
    const std::size_t live = g_live.fetch_add(size) + size;
    std::size_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
    return p;
}
static void uncounted(void* p) {
    if (p != nullptr) g_live.fetch_sub(malloc_usable_size(p));
}

void* malloc(std::size_t n) {
    return counted(__libc_malloc(n));
}
void* calloc(std::size_t k, std::size_t n) {
    return counted(__libc_calloc(k, n));
}
void* realloc(void* p, std::size_t n) {
    uncounted(p);
    void* q = __libc_realloc(p, n);
    if (q == nullptr && n != 0) counted(p);  // the old block lives on
    return counted(q);
}
void* aligned_alloc(std::size_t alignment, std::size_t n) {
    return counted(__libc_memalign(alignment, n));
}
void* memalign(std::size_t alignment, std::size_t n) {
    return counted(__libc_memalign(alignment, n));
}
int posix_memalign(void** out, std::size_t alignment, std::size_t n) {
    void* p = __libc_memalign(alignment, n);
    if (p == nullptr) return ENOMEM;
    *out = counted(p);
    return 0;
}
void free(void* p) {
    uncounted(p);
    __libc_free(p);
}
}

int main(int argc, char** argv) {
    std::vector<std::size_t> sizes;
    Codec codec;
    std::optional<Undra::ScopedIsaOverride> pinned;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--isa") == 0 && i + 1 < argc) {
            const auto isa = Undra::isa_from_name(argv[++i]);
            if (!isa || !Undra::isa_supported(*isa)) {
                std::fprintf(stderr, "unknown or unsupported path %s\n", argv[i]);
                return 2;
            }
            pinned.emplace(*isa);
            continue;
        }
        sizes.push_back(std::strtoull(argv[i], nullptr, 10));
    }
    if (sizes.empty()) sizes = {1000000, 10000000};
    std::printf("%-9s %-6s %-6s %-8s %9s %9s %8s %8s %9s %9s %9s\n", "samples", "signal", "method",
                "coder", "comp MS/s", "deco MS/s", "B/sample", "heap B/smp", "zlib6 ms", "comp ms",
                "comp/zlib");
    for (std::size_t n : sizes) {
        const int reps = n <= 2000000 ? 7 : 3;  // best of: the machine may be shared
        for (const char* signal_name : {"smooth", "noise"}) {
            const auto x =
                std::strcmp(signal_name, "smooth") == 0 ? smooth_signal(n) : noise_signal(n);
            // Untimed warm-up: the first large allocations of a process cost far more (the
            // kernel has to find and clear fresh pages) than the steady state measured below.
            for (auto coder : {EntropyCoder::Arans, EntropyCoder::Deflate}) {
                (void)codec.decompress(codec.compress(x, {.coder = coder}).value());
            }
            for (const auto& entry : kestova::kMethods) {
                for (auto coder : {EntropyCoder::Arans, EntropyCoder::Deflate}) {
                    const kestova::CompressionOptions o{.coder = coder, .method = entry.method};
                    std::vector<uint8_t> container = codec.compress(x, o).value();
                    double tc = 1e30;
                    double zlib_ms = 0;
                    if (coder == EntropyCoder::Deflate) {
                        // Alternate the two so that both see the same machine load.
                        const auto image = inflate_payload(container, 2 * n + 64);
                        std::vector<uint8_t> out(compressBound(image.size()));
                        double tz = 1e30;
                        for (int r = 0; r < reps; ++r) {
                            tc = std::min(tc, best_time(1, [&] {
                                              container = codec.compress(x, o).value();
                                          }));
                            tz = std::min(tz, zlib_deflate_seconds(image, out));
                        }
                        zlib_ms = 1e3 * tz;
                    } else {
                        tc = best_time(reps, [&] { container = codec.compress(x, o).value(); });
                    }
                    std::vector<float> back;
                    const double td =
                        best_time(reps, [&] { back = codec.decompress(container).value(); });
                    const double peak = compress_peak_bytes_per_sample(codec, x, o);
                    std::printf(
                        "%-9zu %-6s %-6s %-8s %9.1f %9.1f %8.3f %8.1f %9.2f %9.2f %9s\n", n,
                        signal_name, std::string(entry.name).c_str(),
                        coder == EntropyCoder::Arans ? "arans" : "deflate", n / tc / 1e6,
                        n / td / 1e6, double(container.size()) / double(n), peak, zlib_ms, 1e3 * tc,
                        zlib_ms > 0 ? std::to_string(1e3 * tc / zlib_ms).substr(0, 5).c_str()
                                    : "-");
                    std::fflush(stdout);
                }
            }
        }
    }
    return 0;
}
