// The C++ layer over the C interface: values and errors come back as std::expected, buffers as
// spans, and the results agree with the C functions underneath.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "kestova/kestova.hpp"

namespace {

namespace lib = kestova::lib;

std::vector<float> signal(std::size_t n) {
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i) x[i] = static_cast<float>(std::sin(0.05 * i) * 10.0);
    return x;
}

TEST(KestovaHpp, StreamsRoundTripThroughVectorsAndBuffers) {
    const std::vector<float> x = signal(2000);
    const auto stream = lib::compress(x);
    ASSERT_TRUE(stream) << stream.error().message;
    EXPECT_EQ(lib::decoded_count(*stream).value(), x.size());
    const auto header = lib::read_header(*stream);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->sample_count, x.size());
    EXPECT_EQ(header->stream_size, stream->size());
    EXPECT_EQ(lib::read_record(*stream).error().code, KESTOVA_ERROR_NO_RECORD);

    const auto samples = lib::decompress(*stream);
    ASSERT_TRUE(samples);
    ASSERT_EQ(samples->size(), x.size());
    for (std::size_t i = 0; i < x.size(); ++i) EXPECT_NEAR((*samples)[i], x[i], 0.1);

    std::vector<uint8_t> buffer(stream->size());
    EXPECT_EQ(lib::compress_into(x, buffer).value(), stream->size());
    EXPECT_EQ(buffer, *stream);
    const auto short_buffer = lib::compress_into(x, std::span(buffer).first(10));
    ASSERT_FALSE(short_buffer);
    EXPECT_EQ(short_buffer.error().code, KESTOVA_ERROR_BUFFER_TOO_SMALL);
    EXPECT_FALSE(short_buffer.error().message.empty());

    std::vector<float> into(x.size());
    EXPECT_EQ(lib::decompress_into(*stream, into).value(), x.size());
    EXPECT_EQ(into, *samples);
}

TEST(KestovaHpp, ChunksAndOptions) {
    std::vector<int16_t> elements(700);
    for (std::size_t i = 0; i < elements.size(); ++i) {
        elements[i] = static_cast<int16_t>(std::lround(std::sin(0.01 * i) * 3000.0));
    }
    lib::Options options = lib::default_options();
    options.encoder = KESTOVA_ENCODER_TUNED;
    options.bound = KESTOVA_BOUND_ABSOLUTE;
    options.max_error = 4.0;
    const auto stream =
        lib::chunk_encode(std::as_bytes(std::span(elements)), KESTOVA_INT16, options);
    ASSERT_TRUE(stream) << stream.error().message;
    const auto bytes = lib::chunk_decode(*stream, KESTOVA_INT16, elements.size());
    ASSERT_TRUE(bytes);
    ASSERT_EQ(bytes->size(), elements.size() * sizeof(int16_t));
    std::vector<int16_t> back(elements.size());
    std::memcpy(back.data(), bytes->data(), bytes->size());
    for (std::size_t i = 0; i < elements.size(); ++i) EXPECT_LE(std::abs(back[i] - elements[i]), 4);
    std::vector<int16_t> into(elements.size());
    EXPECT_EQ(lib::chunk_decode_into(*stream, KESTOVA_INT16, elements.size(), KESTOVA_FILL_EXACT,
                                     std::as_writable_bytes(std::span(into)))
                  .value(),
              elements.size());
    EXPECT_EQ(into, back);

    options.scale = 3;
    const auto refused = lib::compress(signal(100), options);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, KESTOVA_ERROR_UNSUPPORTED_SCALE);
    const std::vector<uint8_t> garbage(60, 7);
    EXPECT_EQ(lib::decompress(garbage).error().code, KESTOVA_ERROR_INVALID_MAGIC);
    EXPECT_FALSE(lib::version().empty());
}

// The interface keeps no state between calls: threads compressing and decoding at once get what
// one thread gets alone.
TEST(KestovaHpp, ConcurrentCallsGiveTheSerialResults) {
    constexpr std::size_t kThreads = 4;
    std::vector<std::vector<uint8_t>> serial;
    for (std::size_t t = 0; t < kThreads; ++t)
        serial.push_back(lib::compress(signal(5000 + t)).value());
    std::vector<int> agreed(kThreads, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 5; ++round) {
                const auto stream = lib::compress(signal(5000 + t));
                bool same = stream && *stream == serial[t];
                if (same) {
                    const auto back = lib::decompress(*stream);
                    same = back && back->size() == 5000 + t;
                }
                agreed[t] += same ? 1 : 0;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(agreed, std::vector<int>(kThreads, 5));
}

}  // namespace
