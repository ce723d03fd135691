// Raw deflate on coefficient images: size and speed of every libdeflate level and of the
// reference encoder's zlib level 6, and inflation by zlib alone against the codec's inflate
// (libdeflate first), all as ratios to zlib measured in the same run.
// Then whole compressions with the deflate coder at scale 11, cutoff low: the tuned encoder
// (libdeflate) against the reference one (zlib level 6), time and size.
// Usage: bench_deflate [FILE.f32...]   (raw little-endian float32 recordings; without files, a
// built-in ECG-like signal, a random walk and white noise of 1M samples). Each signal is coded
// at scales 9, 11 and 12 (cutoff low, cdf97) and its coefficient image taken from the container.
#include <libdeflate.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "codec/compressor.h"
#include "codec/deflate.h"
#include "codec/header.h"
#include "codec/tuned/tuned_compressor.h"

namespace {

using Bytes = std::vector<uint8_t>;

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Least CPU time in seconds of `reps` runs of f (the machine may be shared).
template <typename F>
double best_cpu(int reps, F&& f) {
    double best = 1e30;
    for (int r = 0; r < reps; ++r) {
        const double t0 = cpu_seconds();
        f();
        best = std::min(best, cpu_seconds() - t0);
    }
    return best;
}

std::vector<float> ecg_like(std::size_t n) {
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double phase = std::fmod(static_cast<double>(i) / 360.0, 1.0);
        const double beat = std::exp(-std::pow((phase - 0.3) / 0.012, 2)) -
                            0.15 * std::exp(-std::pow((phase - 0.27) / 0.01, 2)) +
                            0.2 * std::exp(-std::pow((phase - 0.6) / 0.05, 2));
        x[i] =
            static_cast<float>(beat + 0.1 * std::sin(static_cast<double>(i) / 2000.0)) + noise(rng);
    }
    return x;
}

std::vector<float> random_walk(std::size_t n) {
    std::mt19937 rng(5);
    std::normal_distribution<float> step(0.0f, 1.0f);
    std::vector<float> x(n);
    float v = 0.0f;
    for (float& s : x) s = v += step(rng);
    return x;
}

std::vector<float> white_noise(std::size_t n) {
    std::mt19937 rng(7);
    std::normal_distribution<float> d(0.0f, 1.0f);
    std::vector<float> x(n);
    for (float& s : x) s = d(rng);
    return x;
}

std::vector<float> read_f32(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const Bytes raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> x(raw.size() / sizeof(float));
    std::memcpy(x.data(), raw.data(), x.size() * sizeof(float));
    return x;
}

// The coefficient image the codec codes for `x` at `scale`.
Bytes coefficient_image(const std::vector<float>& x, int scale) {
    const auto container = kestova::compress(x, {.coder = kestova::EntropyCoder::Deflate,
                                                 .scale = static_cast<uint8_t>(scale)})
                               .value();
    const auto image = kestova::inflate_raw_zlib(std::span(container).subspan(kestova::HEADER_SIZE),
                                                 4 * x.size() + 64)
                           .value();
    return Bytes(image.bytes().begin(), image.bytes().end());
}

Bytes libdeflate_raw(libdeflate_compressor* c, const Bytes& in) {
    Bytes out(libdeflate_deflate_compress_bound(c, in.size()));
    out.resize(libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size()));
    return out;
}

// Geometric mean of the logarithms summed in `sum` over `count` values.
double geomean(double sum, int count) {
    return count > 0 ? std::exp(sum / count) : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::pair<std::string, std::vector<float>>> signals;
    for (int i = 1; i < argc; ++i) signals.emplace_back(argv[i], read_f32(argv[i]));
    if (signals.empty()) {
        constexpr std::size_t n = 1000000;
        signals = {{"ecg-like", ecg_like(n)}, {"walk", random_walk(n)}, {"noise", white_noise(n)}};
    }
    constexpr int kLevels[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    // Per libdeflate level: sums of log(speed vs zlib 6) and log(size vs zlib 6).
    std::map<int, std::pair<double, double>> sums;
    double inflate_zlib_sum = 0.0, inflate_fast_sum = 0.0;
    int images = 0;
    std::printf("%-28s %5s %9s %8s %8s | level: size/zlib6  speed/zlib6\n", "image", "scale", "MB",
                "zlib6 B", "zlib6 ms");
    for (const auto& [name, x] : signals) {
        for (int scale : {9, 11, 12}) {
            const Bytes image = coefficient_image(x, scale);
            const int reps = image.size() < (4u << 20) ? 5 : 3;
            Bytes reference;
            const double t_zlib = best_cpu(reps, [&] {
                reference.clear();
                (void)kestova::deflate_raw(image, reference);
            });
            std::printf("%-28.28s %5d %9.2f %8zu %8.2f |", name.c_str(), scale,
                        static_cast<double>(image.size()) / 1e6, reference.size(), 1e3 * t_zlib);
            Bytes level6;
            for (int level : kLevels) {
                libdeflate_compressor* c = libdeflate_alloc_compressor(level);
                Bytes out;
                const double t = best_cpu(reps, [&] { out = libdeflate_raw(c, image); });
                libdeflate_free_compressor(c);
                if (level == kestova::kFastDeflateLevel) level6 = out;
                const double size = static_cast<double>(out.size()) / reference.size();
                sums[level].first += std::log(t_zlib / t);
                sums[level].second += std::log(size);
                std::printf(" %d: %.3f %4.2fx", level, size, t_zlib / t);
            }
            // Inflation of the reference stream and of the fast one: zlib alone vs the codec's.
            const double t_inf_zlib = best_cpu(
                reps, [&] { (void)kestova::inflate_raw_zlib(reference, image.size()).value(); });
            const double t_inf_fast = best_cpu(
                reps, [&] { (void)kestova::inflate_raw(reference, image.size()).value(); });
            const double t_inf_fast_own =
                best_cpu(reps, [&] { (void)kestova::inflate_raw(level6, image.size()).value(); });
            inflate_zlib_sum += std::log(t_inf_zlib / t_inf_fast);
            inflate_fast_sum += std::log(t_inf_zlib / t_inf_fast_own);
            std::printf(" | inflate %.2fx (own stream %.2fx)\n", t_inf_zlib / t_inf_fast,
                        t_inf_zlib / t_inf_fast_own);
            ++images;
            std::fflush(stdout);
        }
    }
    // The whole codec with the deflate coder: tuned (libdeflate) against reference (zlib).
    std::printf("\n%-28s %12s %12s %10s %10s\n", "deflate coder, scale 11", "reference ms",
                "tuned ms", "speed", "size");
    double codec_speed_sum = 0.0, codec_size_sum = 0.0;
    for (const auto& [name, x] : signals) {
        const kestova::CompressionOptions o{.coder = kestova::EntropyCoder::Deflate};
        const int reps = x.size() < 2000000 ? 5 : 3;
        std::vector<uint8_t> reference, tuned;
        double t_ref = 1e30, t_tuned = 1e30;
        for (int r = 0; r < reps; ++r) {  // alternating, so both see the same machine load
            t_ref =
                std::min(t_ref, best_cpu(1, [&] { reference = kestova::compress(x, o).value(); }));
            t_tuned = std::min(t_tuned,
                               best_cpu(1, [&] { tuned = kestova::compress_tuned(x, o).value(); }));
        }
        const double size = static_cast<double>(tuned.size()) / reference.size();
        codec_speed_sum += std::log(t_ref / t_tuned);
        codec_size_sum += std::log(size);
        std::printf("%-28.28s %12.2f %12.2f %9.2fx %10.3f\n", name.c_str(), 1e3 * t_ref,
                    1e3 * t_tuned, t_ref / t_tuned, size);
    }
    std::printf("\ngeometric means over %d images, against zlib level 6 in the same run:\n",
                images);
    for (int level : kLevels) {
        std::printf("  libdeflate %d: size %.3f, compression speed %.2fx%s\n", level,
                    geomean(sums[level].second, images), geomean(sums[level].first, images),
                    level == kestova::kFastDeflateLevel ? "   <- deflate_raw_fast" : "");
    }
    std::printf(
        "  inflate_raw vs zlib-only inflate: %.2fx on zlib-6 streams, %.2fx on "
        "deflate_raw_fast streams\n",
        geomean(inflate_zlib_sum, images), geomean(inflate_fast_sum, images));
    const int count = static_cast<int>(signals.size());
    std::printf("  deflate-coded compression, tuned vs reference: speed %.2fx, size %.3f\n",
                geomean(codec_speed_sum, count), geomean(codec_size_sum, count));
    return 0;
}
