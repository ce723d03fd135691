// Measures the tuned encoder against the reference one on recordings given as raw float32 files
// (bench/recordings.py writes them): at scale 11, cutoff low, the PSNR gain and the byte ratio;
// for bounds of 1e-2 down to 5e-4 of the range, the bytes and the error reached; and, on the
// recordings tiled to 1M samples, the CPU time of tuned and bounded compression against one
// reference compression (synthetic signals when no file is given). Options override the rule's
// figures, for measuring other rules:
//   bench_tuned [--dead-zone Z0,Z1,...] [--bounded-dead-zone Z0,...] [--cutoff-offset F]
//               [--steps-reached S] [--method NAME] [--scale S] [--cutoff 0|1|2]
//               [--fixed-only | --bounded-only] [--no-times] FILE.f32...
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "codec/compressor.h"
#include "codec/decompressor.h"
#include "codec/method_table.h"
#include "codec/tuned/tuned_compressor.h"

namespace {

using namespace kestova;

struct Recording {
    std::string name;
    std::vector<float> samples;
};

std::vector<float> read_f32(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> x(bytes.size() / sizeof(float));
    std::memcpy(x.data(), bytes.data(), x.size() * sizeof(float));
    return x;
}

std::array<float, TunedRule::kZones> parse_zones(const char* text) {
    std::array<float, TunedRule::kZones> zones{};
    std::size_t k = 0;
    for (const char* p = text; *p != '\0' && k < zones.size(); ++k) {
        char* end = nullptr;
        zones[k] = std::strtof(p, &end);
        p = *end == ',' ? end + 1 : end;
    }
    for (; k < zones.size(); ++k) zones[k] = zones[k - 1];
    return zones;
}

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Quality {
    double max_rel;
    double psnr;
};

Quality quality(const std::vector<uint8_t>& container, const std::vector<float>& x) {
    const auto y = decompress(container).value();
    const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    const double range = static_cast<double>(*hi) - static_cast<double>(*lo);
    double worst = 0.0, sum = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double e = static_cast<double>(y[i]) - static_cast<double>(x[i]);
        worst = std::max(worst, std::fabs(e));
        sum += e * e;
    }
    const double rms = std::sqrt(sum / static_cast<double>(x.size()));
    return {worst / range, 20.0 * std::log10(range / rms)};
}

// The median CPU time of `rounds` runs of `run`.
template <typename Run>
double median_seconds(int rounds, Run&& run) {
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r) {
        const double start = cpu_seconds();
        run();
        times.push_back(cpu_seconds() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Stand-ins when no recordings are given: a noisy two-tone signal, steps, a random walk and
// white noise, 60,000 samples each.
std::vector<Recording> synthetic_signals() {
    constexpr std::size_t n = 60000;
    std::mt19937 rng(7);
    std::normal_distribution<float> gauss;
    std::vector<Recording> out(4);
    const char* names[] = {"tones", "steps", "walk", "noise"};
    float walk = 0.0f;
    for (std::size_t k = 0; k < out.size(); ++k) {
        out[k].name = names[k];
        out[k].samples.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            const float t = static_cast<float>(i);
            const float values[] = {
                std::sin(0.013f * t) + 0.3f * std::sin(0.21f * t) + 0.02f * gauss(rng),
                static_cast<float>(i / 2500 % 4), walk += gauss(rng), gauss(rng)};
            out[k].samples[i] = values[k];
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    TunedRule rule = kTunedRule;
    std::optional<CompressionMethod> bounded_method;
    CompressionOptions fixed;
    bool fixed_only = false;
    bool bounded_only = false;
    bool no_times = false;
    std::vector<Recording> recordings;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg == "--dead-zone" && a + 1 < argc) {
            rule.dead_zone = parse_zones(argv[++a]);
        } else if (arg == "--bounded-dead-zone" && a + 1 < argc) {
            rule.bounded_dead_zone = parse_zones(argv[++a]);
        } else if (arg == "--cutoff-offset" && a + 1 < argc) {
            rule.cutoff_offset = std::strtof(argv[++a], nullptr);
        } else if (arg == "--steps-reached" && a + 1 < argc) {
            rule.steps_reached.fill(std::strtod(argv[++a], nullptr));
        } else if (arg == "--bounded-only") {
            bounded_only = true;
        } else if (arg == "--no-times") {
            no_times = true;
        } else if (arg == "--scale" && a + 1 < argc) {
            fixed.scale = static_cast<uint8_t>(std::atoi(argv[++a]));
        } else if (arg == "--cutoff" && a + 1 < argc) {
            fixed.cutoff = static_cast<CutoffLevel>(std::atoi(argv[++a]));
        } else if (arg == "--fixed-only") {
            fixed_only = true;
        } else if (arg == "--method" && a + 1 < argc) {
            const std::string name = argv[++a];
            for (const MethodEntry& entry : kMethods) {
                if (entry.name == name) bounded_method = entry.method;
            }
        } else {
            std::string name = arg.substr(arg.find_last_of('/') + 1);
            recordings.push_back({name.substr(0, name.rfind('.')), read_f32(argv[a])});
        }
    }
    if (recordings.empty()) {
        std::printf("no recordings given (bench/recordings.py writes them): synthetic signals\n\n");
        recordings = synthetic_signals();
    }

    const double count = static_cast<double>(recordings.size());
    if (!bounded_only) {
        std::printf("scale %d, cutoff code %d, cdf97, arans\n", fixed.scale,
                    static_cast<int>(fixed.cutoff));
        std::printf("%-40s %9s %9s %7s %8s %8s %9s %9s\n", "recording", "ref B", "tuned B",
                    "B ratio", "ref dB", "tuned dB", "ref max", "tuned max");
        double log_ratio = 0.0, gain = 0.0;
        for (const Recording& r : recordings) {
            const auto ref = compress(r.samples, fixed).value();
            const auto tuned = compress_tuned_with(r.samples, fixed, rule).value();
            const Quality qr = quality(ref, r.samples), qt = quality(tuned, r.samples);
            const double ratio =
                static_cast<double>(tuned.size()) / static_cast<double>(ref.size());
            std::printf("%-40s %9zu %9zu %7.3f %8.2f %8.2f %9.2e %9.2e\n", r.name.c_str(),
                        ref.size(), tuned.size(), ratio, qr.psnr, qt.psnr, qr.max_rel, qt.max_rel);
            log_ratio += std::log(ratio);
            gain += qt.psnr - qr.psnr;
        }
        std::printf("geometric mean byte ratio %.3f, mean PSNR gain %+.2f dB\n\n",
                    std::exp(log_ratio / count), gain / count);
    }
    if (fixed_only) return 0;

    const double bounds[] = {1e-2, 3e-3, 1e-3, 5e-4};
    std::printf("bounded (relative), method %s, arans: ratio vs float32 / max error reached\n%-40s",
                bounded_method ? "given" : "open", "recording");
    for (const double b : bounds) std::printf("   %8.0e           ", b);
    std::printf("\n");
    std::vector<double> log_ratios(std::size(bounds), 0.0);
    int unmet = 0;
    for (const Recording& r : recordings) {
        std::printf("%-40s", r.name.c_str());
        for (std::size_t k = 0; k < std::size(bounds); ++k) {
            const auto out = encode_within(r.samples, {bounds[k], true}, bounded_method,
                                           EntropyCoder::Auto, rule);
            if (!out || out->container.empty()) {
                std::printf("   unmet %8.2e       ", out ? out->max_error : -1.0);
                ++unmet;
                continue;
            }
            const double ratio = 4.0 * static_cast<double>(r.samples.size()) /
                                 static_cast<double>(out->container.size());
            log_ratios[k] += std::log(ratio);
            std::printf("   %6.2f %8.2e s%-2d %s", ratio,
                        quality(out->container, r.samples).max_rel, out->scale,
                        std::string(kMethods[0].name).c_str() + 0);
            for (const MethodEntry& e : kMethods) {
                if (e.method == out->method)
                    std::printf("\b\b\b\b\b%-5s", std::string(e.name).c_str());
            }
        }
        std::printf("\n");
    }
    std::printf("%-40s", "geometric mean ratio");
    for (const double l : log_ratios) std::printf("   %6.2f                ", std::exp(l / count));
    std::printf("\nbounds unmet: %d\n\n", unmet);

    if (no_times) return 0;
    // 1M samples: the recordings tiled.
    std::vector<float> tiled;
    while (tiled.size() < (std::size_t{1} << 20)) {
        for (const Recording& r : recordings)
            tiled.insert(tiled.end(), r.samples.begin(), r.samples.end());
    }
    tiled.resize(std::size_t{1} << 20);
    const int rounds = 5;
    const double reference = median_seconds(rounds, [&] { (void)compress(tiled, {}); });
    const double tuned =
        median_seconds(rounds, [&] { (void)compress_tuned_with(tiled, {}, rule); });
    std::printf("1M samples (recordings tiled), median CPU time of %d rounds\n", rounds);
    std::printf("reference compression        %8.1f ms\n", 1e3 * reference);
    std::printf("tuned, scale 11              %8.1f ms  %.2fx\n", 1e3 * tuned, tuned / reference);
    for (const double b : {1e-2, 1e-3, 5e-4}) {
        for (const bool open : {false, true}) {
            const double t = median_seconds(rounds, [&] {
                (void)encode_within(tiled, {b, true},
                                    open ? std::nullopt : std::optional(CompressionMethod::Cdf97),
                                    EntropyCoder::Auto, rule);
            });
            std::printf("bounded %.0e, method %-5s %8.1f ms  %.2fx\n", b, open ? "open" : "cdf97",
                        1e3 * t, t / reference);
        }
    }
    const auto dflt = compress(tiled, {.coder = EntropyCoder::Deflate}).value();
    const double ref_deflate =
        median_seconds(rounds, [&] { (void)compress(tiled, {.coder = EntropyCoder::Deflate}); });
    const double tuned_deflate = median_seconds(
        rounds, [&] { (void)compress_tuned_with(tiled, {.coder = EntropyCoder::Deflate}, rule); });
    std::printf("deflate: reference %.1f ms, tuned %.1f ms (%zu bytes reference)\n",
                1e3 * ref_deflate, 1e3 * tuned_deflate, dflt.size());
    return 0;
}
