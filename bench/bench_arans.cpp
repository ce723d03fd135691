// Range-ANS coder throughput on 2 MB coefficient images beside raw deflate (level 6) and inflate
// of the same images, and against the coder as it stood before its pipelined rewrite (kept in
// arans_baseline.h), timed alternately in the same run. Usage: bench_arans [repetitions]. Prints
// MB/s of image bytes, ns per binary decision (8 per image byte) and coded sizes; every round trip
// and the byte identity with the baseline are verified. Times are the best of the repetitions, in
// thread processor time.
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "arans_baseline.h"
#include "codec/arans/arans.h"
#include "codec/arans/plane_coder.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr std::size_t kCoefficients = std::size_t{1} << 20;  // 2 MB image
constexpr int kLevels = 6;
constexpr float kScale = 2048.0f;  // quantisation scale 11

// Multi-level Haar analysis, laid out as coarsest approximation then details finest first,
// quantised to int16 and written as the little-endian byte image.
Bytes coefficient_image(std::vector<float> signal) {
    std::vector<std::vector<float>> details;
    for (int level = 0; level < kLevels; ++level) {
        const std::size_t half = signal.size() / 2;
        std::vector<float> approx(half), detail(half);
        for (std::size_t i = 0; i < half; ++i) {
            approx[i] = (signal[2 * i] + signal[2 * i + 1]) * 0.70710678f;
            detail[i] = (signal[2 * i] - signal[2 * i + 1]) * 0.70710678f;
        }
        details.push_back(std::move(detail));
        signal = std::move(approx);
    }
    std::vector<float> all = signal;
    for (const auto& d : details) all.insert(all.end(), d.begin(), d.end());
    Bytes image;
    for (const float c : all) {
        const long q = std::clamp(std::lround(c * kScale), -32768L, 32767L);
        const auto u = static_cast<uint16_t>(static_cast<int16_t>(q));
        image.push_back(static_cast<uint8_t>(u));
        image.push_back(static_cast<uint8_t>(u >> 8));
    }
    return image;
}

// A smooth signal in [-0.5, 0.5]: a few slow tones and a little sensor noise.
std::vector<float> smooth_signal() {
    std::mt19937 rng(1);
    std::normal_distribution<float> noise(0.0f, 0.0005f);
    std::vector<float> s(kCoefficients);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i);
        s[i] = static_cast<float>(0.25 * std::sin(t * 0.0011) + 0.15 * std::sin(t * 0.0173 + 1.0) +
                                  0.05 * std::sin(t * 0.091)) +
               noise(rng);
    }
    return s;
}

std::vector<float> white_noise() {
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> u(-0.5f, 0.5f);
    std::vector<float> s(kCoefficients);
    for (auto& v : s) v = u(rng);
    return s;
}

Bytes deflate_raw(const Bytes& in) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, in.size()));
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

Bytes inflate_raw(const Bytes& in, std::size_t size) {
    z_stream z{};
    inflateInit2(&z, -15);
    Bytes out(size);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

// This thread's processor time in seconds: unlike wall time it does not count the time the
// thread waits for a core on a shared machine.
double thread_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Best processor time of `reps` runs, in seconds.
double best_of(int reps, const std::function<void()>& run) {
    double best = 1e30;
    for (int r = 0; r < reps; ++r) {
        const double t0 = thread_seconds();
        run();
        best = std::min(best, thread_seconds() - t0);
    }
    return best;
}

void report(const char* what, double seconds, std::size_t image_bytes, std::size_t coded) {
    std::printf("  %-16s %8.1f MB/s  %6.2f ns/decision  %9zu bytes (%.3f of image)\n", what,
                image_bytes / seconds / 1e6, seconds * 1e9 / (8.0 * image_bytes), coded,
                static_cast<double>(coded) / image_bytes);
}

// The plane pair of an image (even length) coded with the wide context, and its decoding, by the
// current coder and by the baseline; stores what each produced.
struct PairCoders {
    const Bytes& image;
    Bytes coded{}, baseline_coded{}, decoded{}, baseline_decoded{};

    std::size_t pairs() const { return image.size() / 2; }
    std::span<const uint8_t> plane(const Bytes& c, bool second) const {
        std::size_t pos = 0;
        const std::size_t a_len = kestova::arans::rv(c, pos).value();
        return second ? std::span(c).subspan(pos + a_len) : std::span(c).subspan(pos, a_len);
    }
    void encode() {
        coded.clear();
        kestova::arans::detail::encode_plane_pair(image, 8, coded);
    }
    void encode_baseline() {
        baseline_coded.clear();
        kestova::arans::baseline::encode_plane_pair(image, 8, baseline_coded);
    }
    void decode() {
        decoded = kestova::arans::detail::decode_plane_pair(plane(coded, false), plane(coded, true),
                                                            pairs(), 8, {})
                      .value_or(Bytes{});
    }
    void decode_baseline() {
        baseline_decoded = kestova::arans::baseline::decode_plane_pair(
                               plane(coded, false), plane(coded, true), pairs(), 8)
                               .value_or(Bytes{});
    }
};

bool bench(const char* name, const Bytes& image, int reps) {
    std::printf("%s: %zu image bytes\n", name, image.size());
    Bytes stream, deflated, decoded, inflated;
    const double enc = best_of(reps, [&] { stream = kestova::arans::encode_stream(image); });
    const double dec =
        best_of(reps, [&] { decoded = kestova::arans::decode_stream(stream).value_or(Bytes{}); });
    const double def = best_of(reps, [&] { deflated = deflate_raw(image); });
    const double inf = best_of(reps, [&] { inflated = inflate_raw(deflated, image.size()); });
    report("arans encode", enc, image.size(), stream.size());
    report("arans decode", dec, image.size(), stream.size());
    report("deflate-6", def, image.size(), deflated.size());
    report("inflate", inf, image.size(), deflated.size());
    std::printf("  arans vs deflate: encode %.2fx faster, decode %.2fx slower, size %.3f\n",
                def / enc, dec / inf, static_cast<double>(stream.size()) / deflated.size());

    // Current and baseline plane-pair coders, alternating so that both see the same load.
    PairCoders c{image};
    double times[4] = {1e30, 1e30, 1e30, 1e30};
    for (int r = 0; r < reps; ++r) {
        times[0] = std::min(times[0], best_of(1, [&] { c.encode_baseline(); }));
        times[1] = std::min(times[1], best_of(1, [&] { c.encode(); }));
        times[2] = std::min(times[2], best_of(1, [&] { c.decode_baseline(); }));
        times[3] = std::min(times[3], best_of(1, [&] { c.decode(); }));
    }
    report("baseline encode", times[0], image.size(), c.baseline_coded.size());
    report("pair encode", times[1], image.size(), c.coded.size());
    report("baseline decode", times[2], image.size(), c.baseline_coded.size());
    report("pair decode", times[3], image.size(), c.coded.size());
    std::printf("  current vs baseline time: encode %.3f, decode %.3f\n", times[1] / times[0],
                times[3] / times[2]);
    const bool ok = decoded == image && inflated == image && c.coded == c.baseline_coded &&
                    c.decoded == image && c.baseline_decoded == image;
    if (!ok) std::printf("  ROUND TRIP OR BYTE IDENTITY FAILED\n");
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    bool ok = bench("smooth signal, Haar x6, scale 11", coefficient_image(smooth_signal()), reps);
    ok &= bench("white noise, Haar x6, scale 11", coefficient_image(white_noise()), reps);
    return ok ? 0 : 1;
}
