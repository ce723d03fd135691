/* The C interface, called from C: every function, every error code an input can reach, short
 * buffers, NULL pointers and the golden fixtures. Round trips run on every processor path. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "check.h"
#include "kestova/kestova.h"
#include "tests/bound_cases.h"

enum { kSignalLength = 3000 };

static float g_signal[kSignalLength];

static void make_signal(void) {
    for (int i = 0; i < kSignalLength; ++i) {
        g_signal[i] = (float)(sin(0.01 * i) * 100.0 + 3.0 * sin(0.7 * i) + (i % 11) * 0.1);
    }
}

static double max_difference(const float* a, const float* b, size_t count) {
    double worst = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double d = fabs((double)a[i] - (double)b[i]);
        if (d > worst) worst = d;
    }
    return worst;
}

/* The whole file at `path`, from malloc; NULL when it cannot be read. */
static unsigned char* read_file(const char* path, size_t* size) {
    FILE* file = fopen(path, "rb");
    if (file == NULL) return NULL;
    fseek(file, 0, SEEK_END);
    const long length = ftell(file);
    fseek(file, 0, SEEK_SET);
    unsigned char* bytes = malloc(length > 0 ? (size_t)length : 1);
    *size = fread(bytes, 1, (size_t)length, file);
    fclose(file);
    return bytes;
}

static uint64_t fnv1a64(const float* samples, size_t count) {
    uint64_t hash = 14695981039346656037ull;
    const unsigned char* bytes = (const unsigned char*)samples;
    for (size_t i = 0; i < count * sizeof(float); ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
    return hash;
}

static uint32_t crc32_of(const unsigned char* bytes, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

/* The default-settings stream of g_signal. */
static unsigned char* default_stream(size_t* size) {
    uint8_t* stream = NULL;
    CHECK(kestova_compress(g_signal, kSignalLength, NULL, &stream, size, NULL) == KESTOVA_OK);
    return stream;
}

static void test_version_and_messages(void) {
    char text[32];
    const unsigned v = kestova_version_number();
    snprintf(text, sizeof text, "%u.%u.%u", v / 10000, v / 100 % 100, v % 100);
    CHECK(strcmp(text, kestova_version_string()) == 0);
    for (int code = KESTOVA_OK; code <= KESTOVA_ERROR_INTERNAL; ++code) {
        const char* message = kestova_error_message((kestova_status)code);
        CHECK(message != NULL && message[0] != '\0');
        CHECK(strcmp(message, "unknown error code") != 0);
    }
    CHECK(strcmp(kestova_error_message((kestova_status)99), "unknown error code") == 0);
}

static void test_options_default(void) {
    kestova_options options;
    memset(&options, 0xAB, sizeof options);
    kestova_options_default(&options);
    CHECK(options.method == KESTOVA_METHOD_CDF97 && options.coder == KESTOVA_CODER_AUTO);
    CHECK(options.cutoff == KESTOVA_CUTOFF_LOW && options.scale == 11);
    CHECK(options.encoder == KESTOVA_ENCODER_REFERENCE && options.bound == KESTOVA_BOUND_NONE);
    CHECK(options.choose_method == 0 && options.stream_version == 0);
    kestova_options_default(NULL); /* ignored */
    /* NULL options and the defaults write the same stream. */
    size_t size_null = 0, size_default = 0;
    uint8_t *by_null = NULL, *by_default = NULL;
    CHECK(kestova_compress(g_signal, 100, NULL, &by_null, &size_null, NULL) == KESTOVA_OK);
    CHECK(kestova_compress(g_signal, 100, &options, &by_default, &size_default, NULL) ==
          KESTOVA_OK);
    CHECK(size_null == size_default && memcmp(by_null, by_default, size_null) == 0);
    kestova_free(by_null);
    kestova_free(by_default);
}

/* Compress and decode through both the allocating and the caller-buffer functions. */
static void round_trip_on_this_path(void) {
    kestova_error error;
    size_t size = 0;
    unsigned char* stream = default_stream(&size);
    size_t count = 0;
    CHECK(kestova_decoded_count(stream, size, &count, &error) == KESTOVA_OK);
    CHECK(count == kSignalLength && error.code == KESTOVA_OK && error.message[0] == '\0');

    float* samples = NULL;
    CHECK(kestova_decompress(stream, size, &samples, &count, NULL) == KESTOVA_OK);
    CHECK(count == kSignalLength && max_difference(samples, g_signal, count) < 1.0);

    /* Caller buffers: the query, a short buffer left untouched, an exact one. */
    size_t needed = 0;
    CHECK(kestova_compress_into(g_signal, kSignalLength, NULL, NULL, 0, &needed, &error) ==
          KESTOVA_ERROR_BUFFER_TOO_SMALL);
    CHECK(needed == size && error.code == KESTOVA_ERROR_BUFFER_TOO_SMALL);
    unsigned char* exact = malloc(size);
    memset(exact, 0x5A, size);
    CHECK(kestova_compress_into(g_signal, kSignalLength, NULL, exact, size - 1, &needed, NULL) ==
          KESTOVA_ERROR_BUFFER_TOO_SMALL);
    CHECK(exact[0] == 0x5A && exact[size - 2] == 0x5A);
    CHECK(kestova_compress_into(g_signal, kSignalLength, NULL, exact, size, &needed, NULL) ==
          KESTOVA_OK);
    CHECK(needed == size && memcmp(exact, stream, size) == 0);

    float* into = malloc(kSignalLength * sizeof(float));
    into[0] = -7.0f;
    CHECK(kestova_decompress_into(stream, size, into, kSignalLength - 1, &count, NULL) ==
          KESTOVA_ERROR_BUFFER_TOO_SMALL);
    CHECK(count == kSignalLength && into[0] == -7.0f);
    CHECK(kestova_decompress_into(stream, size, into, kSignalLength, &count, NULL) == KESTOVA_OK);
    CHECK(count == kSignalLength && memcmp(into, samples, count * sizeof(float)) == 0);

    /* The tuned encoder, and both kinds of error bound. */
    kestova_options options;
    kestova_options_default(&options);
    options.encoder = KESTOVA_ENCODER_TUNED;
    uint8_t* tuned = NULL;
    size_t tuned_size = 0;
    CHECK(kestova_compress(g_signal, kSignalLength, &options, &tuned, &tuned_size, NULL) ==
          KESTOVA_OK);
    float* decoded = NULL;
    CHECK(kestova_decompress(tuned, tuned_size, &decoded, &count, NULL) == KESTOVA_OK);
    CHECK(count == kSignalLength && max_difference(decoded, g_signal, count) < 1.0);
    kestova_free(decoded);
    kestova_free(tuned);

    static const struct {
        kestova_bound bound;
        double max_error, absolute; /* the bound, and what it is in the samples' units */
        kestova_encoder encoder;
        int choose_method;
    } bounds[] = {
        {KESTOVA_BOUND_ABSOLUTE, 0.05, 0.05, KESTOVA_ENCODER_TUNED, 1},
        {KESTOVA_BOUND_ABSOLUTE, 0.5, 0.5, KESTOVA_ENCODER_REFERENCE, 0},
        {KESTOVA_BOUND_RELATIVE, 1e-3, 1e-3 * 200.0, KESTOVA_ENCODER_TUNED, 0},
    };
    for (size_t b = 0; b < sizeof bounds / sizeof bounds[0]; ++b) {
        kestova_options_default(&options);
        options.bound = bounds[b].bound;
        options.max_error = bounds[b].max_error;
        options.encoder = bounds[b].encoder;
        options.choose_method = bounds[b].choose_method;
        uint8_t* held = NULL;
        size_t held_size = 0;
        CHECK(kestova_compress(g_signal, kSignalLength, &options, &held, &held_size, NULL) ==
              KESTOVA_OK);
        CHECK(kestova_decompress(held, held_size, &decoded, &count, NULL) == KESTOVA_OK);
        CHECK(count == kSignalLength &&
              max_difference(decoded, g_signal, count) <= bounds[b].absolute);
        kestova_free(decoded);
        kestova_free(held);
    }
    free(into);
    free(exact);
    kestova_free(samples);
    kestova_free(stream);
}

static void test_round_trips_on_every_path(void) {
    for (int path = 0; pin_processor_path(path) != NULL; ++path) round_trip_on_this_path();
    pin_processor_path(-1);
}

/* The golden fixtures: the reference encoder writes their bytes, and decodes them to the
 * digests recorded, on the path that made them. */
static void test_golden_fixtures(void) {
    char path[1024];
    snprintf(path, sizeof path, "%s/MANIFEST", KESTOVA_FIXTURE_DIR);
    FILE* manifest = fopen(path, "r");
    CHECK(manifest != NULL);
    if (manifest == NULL) return;
    static const char* const methods[] = {"cdf53", "cdf97", "db4", "sym4"};
    static const char* const coders[] = {"deflate", "arans", "auto"};
    static const char* const cutoffs[] = {"low", "medium", "high"};
    char line[512];
    int cases = 0;
    while (fgets(line, sizeof line, manifest) != NULL) {
        char container[256], input[256], method[16], coder[16], cutoff[16], isa[16];
        int scale = 0;
        unsigned long long digest = 0;
        if (line[0] == '#' || sscanf(line, "%255s %255s %15s %15s %d %15s %15s %llx", container,
                                     input, method, coder, &scale, cutoff, isa, &digest) != 8) {
            continue;
        }
        CHECK(strcmp(isa, "portable") == 0);
        CHECK(strcmp(pin_processor_path(0), "portable") == 0);
        kestova_options options;
        kestova_options_default(&options);
        options.scale = scale;
        for (int k = 0; k < 4; ++k)
            if (strcmp(method, methods[k]) == 0) options.method = (kestova_method)k;
        for (int k = 0; k < 3; ++k)
            if (strcmp(coder, coders[k]) == 0) options.coder = (kestova_coder)k;
        for (int k = 0; k < 3; ++k)
            if (strcmp(cutoff, cutoffs[k]) == 0) options.cutoff = (kestova_cutoff)k;

        size_t stream_size = 0, input_size = 0, count = 0, written_size = 0;
        snprintf(path, sizeof path, "%s/%s", KESTOVA_FIXTURE_DIR, container);
        unsigned char* stream = read_file(path, &stream_size);
        snprintf(path, sizeof path, "%s/%s", KESTOVA_FIXTURE_DIR, input);
        unsigned char* signal = read_file(path, &input_size);
        CHECK(stream != NULL && signal != NULL);
        if (stream == NULL || signal == NULL) break;
        float* samples = NULL;
        CHECK(kestova_decompress(stream, stream_size, &samples, &count, NULL) == KESTOVA_OK);
        CHECK(fnv1a64(samples, count) == digest);
        uint8_t* written = NULL;
        CHECK(kestova_compress((const float*)signal, input_size / 4, &options, &written,
                               &written_size, NULL) == KESTOVA_OK);
        CHECK(written_size == stream_size && memcmp(written, stream, stream_size) == 0);
        kestova_header header;
        CHECK(kestova_read_header(stream, stream_size, &header, NULL) == KESTOVA_OK);
        CHECK(header.sample_count == input_size / 4 && header.scale == scale);
        CHECK(strcmp(header.method_tag, "cf97") != 0 || header.method == KESTOVA_METHOD_CDF97);
        CHECK(header.stream_size == stream_size && header.version_major == 1);
        kestova_free(written);
        kestova_free(samples);
        free(signal);
        free(stream);
        ++cases;
    }
    fclose(manifest);
    pin_processor_path(-1);
    CHECK(cases >= 100);
}

/* The element of `type` at `at`, as a double. */
static double load_element(kestova_element_type type, const unsigned char* at) {
    float f;
    double d;
    signed char i8;
    int16_t i16;
    int32_t i32;
    uint8_t u8;
    uint16_t u16;
    uint32_t u32;
    void* to[] = {NULL, &f, &d, &i8, &i16, &i32, &u8, &u16, &u32};
    memcpy(to[type], at, kestova_element_size(type));
    const double values[] = {0.0, f, d, i8, i16, i32, u8, u16, u32};
    return values[type];
}

/* Stores `value` at `at` as an element of `type` (integers rounded to nearest); the value held. */
static double store_element(kestova_element_type type, unsigned char* at, double value) {
    const long rounded = lround(value);
    const float f = (float)value;
    const signed char i8 = (signed char)rounded;
    const int16_t i16 = (int16_t)rounded;
    const int32_t i32 = (int32_t)rounded;
    const uint8_t u8 = (uint8_t)rounded;
    const uint16_t u16 = (uint16_t)rounded;
    const uint32_t u32 = (uint32_t)rounded;
    const void* from[] = {NULL, &f, &value, &i8, &i16, &i32, &u8, &u16, &u32};
    memcpy(at, from[type], kestova_element_size(type));
    return load_element(type, at);
}

/* Every element type, with the signal scaled into its range: element = scale * signal + offset. */
static const struct {
    kestova_element_type type;
    double scale, offset;
} kTypes[] = {
    {KESTOVA_FLOAT32, 1.0, 0.0}, {KESTOVA_FLOAT64, 1.0, 0.0}, {KESTOVA_INT8, 1.0, 0.0},
    {KESTOVA_INT16, 10.0, 0.0},  {KESTOVA_INT32, 10.0, -5e5}, {KESTOVA_UINT8, 1.0, 120.0},
    {KESTOVA_UINT16, 10.0, 2e4},
};
/* The types only version 2 stores, beyond every int32. */
static const struct {
    kestova_element_type type;
    double scale, offset;
} kVersion2Types[] = {{KESTOVA_UINT32, 1e6, 3e9}};
enum { kTypeCount = sizeof kTypes / sizeof kTypes[0] };

/* The name the header gives `type`. */
static const char* type_name(int type) {
    static const char* const names[] = {"",      "float32", "float64", "int8",  "int16",
                                        "int32", "uint8",   "uint16",  "uint32"};
    return type > 0 && type <= KESTOVA_UINT32 ? names[type] : "";
}

/* Every element type, both encoders and the bounds every surface's chunk tests use
 * (tests/bound_cases.h), read back on every processor path; then the chunk readers' buffers. */
static void test_chunks_every_type(void) {
    enum { n = 1000 };
    for (size_t t = 0; t < sizeof kTypes / sizeof kTypes[0]; ++t) {
        const kestova_element_type type = kTypes[t].type;
        const size_t size = kestova_element_size(type);
        unsigned char elements[n * 8];
        double values[n], low = INFINITY, high = -INFINITY;
        for (int i = 0; i < n; ++i) {
            values[i] = store_element(type, elements + i * size,
                                      g_signal[i] * kTypes[t].scale + kTypes[t].offset);
            low = fmin(low, values[i]);
            high = fmax(high, values[i]);
        }
        int met = 0;
        for (int encoder = KESTOVA_ENCODER_REFERENCE; encoder <= KESTOVA_ENCODER_TUNED; ++encoder) {
            for (size_t b = 0; b < sizeof kKestovaBoundCases / sizeof kKestovaBoundCases[0]; ++b) {
                kestova_options options;
                kestova_options_default(&options);
                options.encoder = encoder;
                options.bound = kKestovaBoundCases[b].kind;
                options.max_error = kKestovaBoundCases[b].max_error;
                const double allowed = options.bound == KESTOVA_BOUND_RELATIVE
                                           ? options.max_error * (high - low)
                                           : options.max_error;
                uint8_t* stream = NULL;
                size_t stream_size = 0, decoded = 0;
                kestova_error error;
                const kestova_status status = kestova_chunk_encode(elements, n, type, &options, 0,
                                                                   &stream, &stream_size, &error);
                if (status != KESTOVA_OK) { /* only a bound narrowing or the finest scale missed */
                    CHECK(status == KESTOVA_ERROR_REFUSED &&
                          strstr(error.message, "cannot be met"));
                    continue;
                }
                for (int path = 0; pin_processor_path(path) != NULL; ++path) {
                    unsigned char back[n * 8];
                    CHECK(kestova_chunk_decode_into(stream, stream_size, type, n,
                                                    KESTOVA_FILL_EXACT, back, n, &decoded,
                                                    NULL) == KESTOVA_OK);
                    double worst = 0.0;
                    for (int i = 0; i < n; ++i) {
                        worst = fmax(worst, fabs(load_element(type, back + i * size) - values[i]));
                    }
                    CHECK(decoded == n && worst <= allowed);
                }
                pin_processor_path(-1);
                kestova_free(stream);
                ++met;
            }
        }
        CHECK(met >= 6);

        /* The readers: header count, library memory, a short buffer, another chunk size. */
        uint8_t* stream = NULL;
        size_t stream_size = 0, decoded = 0;
        CHECK(kestova_chunk_encode(elements, n, type, NULL, 0, &stream, &stream_size, NULL) ==
              KESTOVA_OK);
        CHECK(kestova_chunk_decoded_elements(stream, stream_size, type, n, KESTOVA_FILL_EXACT,
                                             &decoded, NULL) == KESTOVA_OK &&
              decoded == n);
        void* back = NULL;
        CHECK(kestova_chunk_decode(stream, stream_size, type, n, KESTOVA_FILL_EXACT, &back,
                                   &decoded, NULL) == KESTOVA_OK &&
              decoded == n);
        unsigned char into[n * 8];
        into[0] = 0x33;
        CHECK(kestova_chunk_decode_into(stream, stream_size, type, n, KESTOVA_FILL_EXACT, into,
                                        n - 1, &decoded, NULL) == KESTOVA_ERROR_BUFFER_TOO_SMALL);
        CHECK(decoded == n && into[0] == 0x33);
        CHECK(kestova_chunk_decode_into(stream, stream_size, type, n, KESTOVA_FILL_EXACT, into, n,
                                        &decoded, NULL) == KESTOVA_OK);
        CHECK(back != NULL && memcmp(into, back, n * size) == 0);
        CHECK(kestova_chunk_decoded_elements(stream, stream_size, type, n + 1, KESTOVA_FILL_EXACT,
                                             &decoded, NULL) == KESTOVA_ERROR_REFUSED);
        kestova_free(back);
        kestova_free(stream);
    }
}

/* A float chunk's trailing NaN run is left out and restored. */
static void test_chunk_trailing_nan(void) {
    float chunk[64];
    for (int i = 0; i < 64; ++i) chunk[i] = i < 40 ? g_signal[i] : NAN;
    uint8_t* stream = NULL;
    size_t size = 0, decoded = 0;
    kestova_error error;
    CHECK(kestova_chunk_encode(chunk, 64, KESTOVA_FLOAT32, NULL, 0, &stream, &size, &error) ==
          KESTOVA_ERROR_REFUSED);
    CHECK(strstr(error.message, "NaN") != NULL);
    CHECK(kestova_chunk_encode(chunk, 64, KESTOVA_FLOAT32, NULL, 1, &stream, &size, NULL) ==
          KESTOVA_OK);
    kestova_header header;
    CHECK(kestova_read_header(stream, size, &header, NULL) == KESTOVA_OK &&
          header.sample_count == 40);
    float back[64];
    CHECK(kestova_chunk_decode_into(stream, size, KESTOVA_FLOAT32, 64, KESTOVA_FILL_TRAILING_NAN,
                                    back, 64, &decoded, NULL) == KESTOVA_OK);
    CHECK(decoded == 64 && isnan(back[63]) && !isnan(back[39]));
    CHECK(kestova_chunk_decoded_elements(stream, size, KESTOVA_FLOAT32, 64, KESTOVA_FILL_EXACT,
                                         &decoded, NULL) == KESTOVA_ERROR_REFUSED);
    CHECK(kestova_chunk_decoded_elements(stream, size, KESTOVA_FLOAT32, 64, KESTOVA_FILL_AT_MOST,
                                         &decoded, NULL) == KESTOVA_OK &&
          decoded == 40);
    kestova_free(stream);
}

/* Every pointer argument a function needs, NULL in turn. */
static void test_null_pointers(void) {
    size_t size = 0;
    unsigned char* stream = default_stream(&size);
    uint8_t* bytes = NULL;
    float* samples = NULL;
    void* elements = NULL;
    size_t n = 0;
    kestova_header header;
    kestova_record record;
    kestova_error error;
    const kestova_status codes[] = {
        kestova_compress(NULL, 10, NULL, &bytes, &n, NULL),
        kestova_compress(g_signal, 10, NULL, NULL, &n, NULL),
        kestova_compress(g_signal, 10, NULL, &bytes, NULL, NULL),
        kestova_compress_into(NULL, 10, NULL, NULL, 0, &n, NULL),
        kestova_compress_into(g_signal, 10, NULL, NULL, 100, &n, NULL),
        kestova_compress_into(g_signal, 10, NULL, (uint8_t*)&header, 0, NULL, NULL),
        kestova_decoded_count(NULL, size, &n, NULL),
        kestova_decoded_count(stream, size, NULL, NULL),
        kestova_decompress(NULL, size, &samples, &n, NULL),
        kestova_decompress(stream, size, NULL, &n, NULL),
        kestova_decompress(stream, size, &samples, NULL, NULL),
        kestova_decompress_into(NULL, size, samples, 0, &n, NULL),
        kestova_decompress_into(stream, size, NULL, 10, &n, NULL),
        kestova_decompress_into(stream, size, NULL, 0, NULL, NULL),
        kestova_read_header(NULL, size, &header, NULL),
        kestova_read_header(stream, size, NULL, NULL),
        kestova_read_record(NULL, size, &record, NULL),
        kestova_read_record(stream, size, NULL, NULL),
        kestova_chunk_encode(NULL, 10, KESTOVA_FLOAT32, NULL, 0, &bytes, &n, NULL),
        kestova_chunk_encode(g_signal, 10, KESTOVA_FLOAT32, NULL, 0, NULL, &n, NULL),
        kestova_chunk_decoded_elements(NULL, size, KESTOVA_FLOAT32, 10, KESTOVA_FILL_EXACT, &n,
                                       NULL),
        kestova_chunk_decoded_elements(stream, size, KESTOVA_FLOAT32, 10, KESTOVA_FILL_EXACT, NULL,
                                       NULL),
        kestova_chunk_decode_into(NULL, size, KESTOVA_FLOAT32, 10, KESTOVA_FILL_EXACT, samples, 0,
                                  &n, NULL),
        kestova_chunk_decode_into(stream, size, KESTOVA_FLOAT32, 10, KESTOVA_FILL_EXACT, NULL, 10,
                                  &n, NULL),
        kestova_chunk_decode_into(stream, size, KESTOVA_FLOAT32, 10, KESTOVA_FILL_EXACT, NULL, 0,
                                  NULL, NULL),
        kestova_chunk_decode(NULL, size, KESTOVA_FLOAT32, 10, KESTOVA_FILL_EXACT, &elements, &n,
                             NULL),
        kestova_chunk_decode(stream, size, KESTOVA_FLOAT32, 10, KESTOVA_FILL_EXACT, NULL, &n, NULL),
        kestova_chunk_decode(stream, size, KESTOVA_FLOAT32, 10, KESTOVA_FILL_EXACT, &elements, NULL,
                             NULL),
    };
    for (size_t k = 0; k < sizeof codes / sizeof codes[0]; ++k)
        CHECK(codes[k] == KESTOVA_ERROR_NULL_POINTER);
    CHECK(bytes == NULL && samples == NULL && elements == NULL);
    /* With a zero length a NULL input is an empty one. */
    CHECK(kestova_compress(NULL, 0, NULL, &bytes, &n, &error) ==
          KESTOVA_ERROR_UNSUPPORTED_CONFIGURATION);
    CHECK(strstr(error.message, "empty") != NULL);
    CHECK(kestova_decompress(NULL, 0, &samples, &n, NULL) == KESTOVA_ERROR_INVALID_HEADER);
    kestova_free(NULL);
    kestova_free(stream);
}

/* Option values and arguments no function accepts. */
static void test_invalid_arguments(void) {
    static const struct {
        int field; /* 0 method, 1 coder, 2 cutoff, 3 encoder, 4 bound, 5 stream version, 6 scale,
                      7 choose method, 8 max_error with a bound, 9 scale with a bound,
                      10 psnr with version 2, 11 method with version 2 and a psnr,
                      12 bits per sample with version 2, 13 with version 1, 14 with a psnr */
        double value;
        kestova_status expected;
    } cases[] = {
        {0, 4, KESTOVA_ERROR_INVALID_ARGUMENT},
        {0, -1, KESTOVA_ERROR_INVALID_ARGUMENT},
        {1, 3, KESTOVA_ERROR_INVALID_ARGUMENT},
        {2, 3, KESTOVA_ERROR_INVALID_ARGUMENT},
        {3, 2, KESTOVA_ERROR_INVALID_ARGUMENT},
        {4, 3, KESTOVA_ERROR_INVALID_ARGUMENT},
        {5, 3, KESTOVA_ERROR_INVALID_ARGUMENT},
        {6, 5, KESTOVA_ERROR_UNSUPPORTED_SCALE},
        {6, 13, KESTOVA_ERROR_UNSUPPORTED_SCALE},
        {6, 300, KESTOVA_ERROR_UNSUPPORTED_SCALE},
        {7, 1, KESTOVA_ERROR_INVALID_ARGUMENT},
        {8, -1.0, KESTOVA_ERROR_INVALID_ARGUMENT},
        {8, NAN, KESTOVA_ERROR_INVALID_ARGUMENT},
        {9, 12, KESTOVA_ERROR_INVALID_ARGUMENT},
        {5, 2, KESTOVA_ERROR_REFUSED}, /* float32 version 2 without a target */
        {10, 300, KESTOVA_ERROR_INVALID_ARGUMENT},
        {11, 2, KESTOVA_ERROR_INVALID_ARGUMENT},
        {10, 40, KESTOVA_OK},
        {12, 0.001, KESTOVA_ERROR_INVALID_ARGUMENT},
        {12, 65, KESTOVA_ERROR_INVALID_ARGUMENT},
        {12, NAN, KESTOVA_ERROR_INVALID_ARGUMENT},
        {13, 8, KESTOVA_ERROR_INVALID_ARGUMENT},
        {14, 8, KESTOVA_ERROR_INVALID_ARGUMENT},
        {12, 0.5, KESTOVA_ERROR_REFUSED}, /* the framing alone takes more */
        {12, 12, KESTOVA_OK},
    };
    for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k) {
        kestova_options options;
        kestova_options_default(&options);
        const int v = (int)cases[k].value;
        switch (cases[k].field) {
            case 0:
                options.method = (kestova_method)v;
                break;
            case 1:
                options.coder = (kestova_coder)v;
                break;
            case 2:
                options.cutoff = (kestova_cutoff)v;
                break;
            case 3:
                options.encoder = (kestova_encoder)v;
                break;
            case 4:
                options.bound = (kestova_bound)v;
                break;
            case 5:
                options.stream_version = v;
                break;
            case 6:
                options.scale = v;
                break;
            case 7:
                options.choose_method = v;
                break;
            case 8:
                options.bound = KESTOVA_BOUND_ABSOLUTE;
                options.max_error = cases[k].value;
                break;
            case 9:
                options.bound = KESTOVA_BOUND_ABSOLUTE;
                options.max_error = 0.1;
                options.scale = v;
                break;
            case 10:
            case 11:
                options.stream_version = 2;
                options.psnr = cases[k].field == 10 ? cases[k].value : 40.0;
                if (cases[k].field == 11) options.method = (kestova_method)v;
                break;
            case 12:
            case 13:
            case 14:
                options.stream_version = cases[k].field == 13 ? 1 : 2;
                options.psnr = cases[k].field == 14 ? 40.0 : 0.0;
                options.bits_per_sample = cases[k].value;
                break;
        }
        uint8_t* bytes = NULL;
        size_t n = 0;
        kestova_error error;
        CHECK(kestova_compress(g_signal, 100, &options, &bytes, &n, &error) == cases[k].expected);
        CHECK(error.code == cases[k].expected);
        CHECK((error.message[0] != '\0') == (cases[k].expected != KESTOVA_OK));
        kestova_free(bytes);
        bytes = NULL;
        CHECK(kestova_chunk_encode(g_signal, 100, KESTOVA_FLOAT32, &options, 0, &bytes, &n, NULL) ==
              cases[k].expected);
        CHECK((bytes == NULL) == (cases[k].expected != KESTOVA_OK));
        kestova_free(bytes);
        bytes = NULL;
    }
    size_t size = 0, n = 0;
    unsigned char* stream = default_stream(&size);
    uint8_t* bytes = NULL;
    void* elements = NULL;
    CHECK(kestova_element_size((kestova_element_type)0) == 0);
    CHECK(kestova_chunk_encode(g_signal, 10, (kestova_element_type)0, NULL, 0, &bytes, &n, NULL) ==
          KESTOVA_ERROR_INVALID_ARGUMENT);
    CHECK(kestova_chunk_decode(stream, size, (kestova_element_type)9, 10, KESTOVA_FILL_EXACT,
                               &elements, &n, NULL) == KESTOVA_ERROR_INVALID_ARGUMENT);
    /* uint32 is a version-2 type: a version-1 stream neither writes nor decodes into it. */
    CHECK(kestova_element_size(KESTOVA_UINT32) == 4);
    CHECK(kestova_chunk_decode(stream, size, KESTOVA_UINT32, kSignalLength, KESTOVA_FILL_EXACT,
                               &elements, &n, NULL) == KESTOVA_ERROR_REFUSED);
    const uint32_t counts[3] = {1, 4000000000u, 7};
    CHECK(kestova_chunk_encode(counts, 3, KESTOVA_UINT32, NULL, 0, &bytes, &n, NULL) ==
          KESTOVA_ERROR_REFUSED);
    CHECK(bytes == NULL);
    CHECK(kestova_chunk_decode(stream, size, KESTOVA_FLOAT32, kSignalLength, (kestova_chunk_fill)3,
                               &elements, &n, NULL) == KESTOVA_ERROR_INVALID_ARGUMENT);
    /* Samples no stream can hold. */
    float bad[4] = {1.0f, NAN, 2.0f, 3.0f};
    kestova_options options;
    kestova_options_default(&options);
    options.bound = KESTOVA_BOUND_ABSOLUTE;
    options.max_error = 0.1;
    options.encoder = KESTOVA_ENCODER_TUNED;
    CHECK(kestova_compress(bad, 4, &options, &bytes, &n, NULL) == KESTOVA_ERROR_REFUSED);
    CHECK(kestova_compress(bad, 4, NULL, &bytes, &n, NULL) == KESTOVA_ERROR_REFUSED);
    const float tiny[3] = {0.0f, 1e-39f, 0.0f};
    CHECK(kestova_compress(tiny, 3, NULL, &bytes, &n, NULL) == KESTOVA_ERROR_REFUSED);
    kestova_free(stream);
}

/* Damaged streams: each header check's code, a cut payload, and nothing written on failure. */
static void test_damaged_streams(void) {
    size_t size = 0;
    unsigned char* stream = default_stream(&size);
    static const struct {
        size_t offset;
        unsigned char value;
        kestova_status expected;
    } damages[] = {
        {0, 'X', KESTOVA_ERROR_INVALID_MAGIC},      {4, 9, KESTOVA_ERROR_INVALID_VERSION},
        {6, 'x', KESTOVA_ERROR_INVALID_FORMAT_TAG}, {8, 'z', KESTOVA_ERROR_INVALID_METHOD},
        {13, 3, KESTOVA_ERROR_UNSUPPORTED_SCALE},   {14, 7, KESTOVA_ERROR_UNKNOWN_CODER},
        {23, 0x7F, KESTOVA_ERROR_INVALID_HEADER},
    };
    unsigned char* copy = malloc(size);
    for (size_t k = 0; k < sizeof damages / sizeof damages[0]; ++k) {
        memcpy(copy, stream, size);
        copy[damages[k].offset] = damages[k].value;
        if (damages[k].offset == 23) copy[22] = 0x80; /* an infinite minimum: 0x7F80_0000 */
        size_t count = 12345;
        float* samples = NULL;
        kestova_header header;
        kestova_error error;
        CHECK(kestova_decompress(copy, size, &samples, &count, &error) == damages[k].expected);
        CHECK(error.code == damages[k].expected && samples == NULL && count == 12345);
        CHECK(kestova_read_header(copy, size, &header, NULL) == damages[k].expected);
        CHECK(kestova_decoded_count(copy, size, &count, NULL) == damages[k].expected);
    }
    /* A header alone, a cut payload, a forged sample count. */
    kestova_error error;
    float* samples = NULL;
    size_t count = 0;
    CHECK(kestova_decompress(stream, 51, &samples, &count, NULL) == KESTOVA_ERROR_INVALID_HEADER);
    CHECK(kestova_decompress(stream, size - 10, &samples, &count, &error) ==
          KESTOVA_ERROR_DECOMPRESSION_FAILED);
    CHECK(error.message[0] != '\0' && samples == NULL);
    memcpy(copy, stream, size);
    copy[19] = 0x40; /* a billion samples more */
    float small[16];
    CHECK(kestova_decompress_into(copy, size, small, 16, &count, NULL) ==
          KESTOVA_ERROR_BUFFER_TOO_SMALL);
    CHECK(kestova_decompress(copy, size, &samples, &count, NULL) ==
          KESTOVA_ERROR_DECOMPRESSION_FAILED);
    free(copy);
    kestova_free(stream);
}

/* A .kst file: the stream, then the record; decoders read the stream and ignore the record. */
static const char kRecordBody[] = "{\"sample_type\": \"float32\", \"rate\": 1000}";

/* A .kst file of `stream` and a record of kRecordBody (malloc'd, *file_size bytes). */
static unsigned char* kst_file(const unsigned char* stream, size_t size, size_t* file_size) {
    const size_t body_size = sizeof kRecordBody - 1;
    *file_size = size + 13 + body_size;
    unsigned char* file = malloc(*file_size);
    memcpy(file, stream, size);
    unsigned char* tail = file + size;
    memcpy(tail, "KSTR", 4);
    tail[4] = 1;
    const uint32_t crc = crc32_of((const unsigned char*)kRecordBody, body_size);
    for (int k = 0; k < 4; ++k) {
        tail[5 + k] = (unsigned char)(body_size >> (8 * k));
        tail[9 + k] = (unsigned char)(crc >> (8 * k));
    }
    memcpy(tail + 13, kRecordBody, body_size);
    return file;
}

static void test_record(void) {
    size_t size = 0, file_size = 0;
    unsigned char* stream = default_stream(&size);
    const char* body = kRecordBody;
    const size_t body_size = sizeof kRecordBody - 1;
    unsigned char* file = kst_file(stream, size, &file_size);
    unsigned char* tail = file + size;

    kestova_record record;
    CHECK(kestova_read_record(file, file_size, &record, NULL) == KESTOVA_OK);
    CHECK(record.version == 1 && record.body_size == body_size &&
          memcmp(record.body, body, body_size) == 0);
    float* samples = NULL;
    size_t count = 0;
    CHECK(kestova_decompress(file, file_size, &samples, &count, NULL) == KESTOVA_OK);
    CHECK(count == kSignalLength);
    kestova_free(samples);

    CHECK(kestova_read_record(stream, size, &record, NULL) == KESTOVA_ERROR_NO_RECORD);
    CHECK(kestova_read_record(stream, size - 1, &record, NULL) ==
          KESTOVA_ERROR_DECOMPRESSION_FAILED);
    static const struct {
        size_t offset; /* into the record */
        unsigned char value;
    } damages[] = {{0, 'Q'}, {4, 2}, {5, 0x7F}, {9, 0}, {20, '!'}};
    for (size_t k = 0; k < sizeof damages / sizeof damages[0]; ++k) {
        const unsigned char kept = tail[damages[k].offset];
        tail[damages[k].offset] = damages[k].value;
        CHECK(kestova_read_record(file, file_size, &record, NULL) == KESTOVA_ERROR_INVALID_RECORD);
        tail[damages[k].offset] = kept;
    }
    CHECK(kestova_read_record(file, file_size - 1, &record, NULL) == KESTOVA_ERROR_INVALID_RECORD);
    CHECK(kestova_read_record(file, size + 5, &record, NULL) == KESTOVA_ERROR_INVALID_RECORD);
    free(file);
    kestova_free(stream);
}

/* Version 2: every element type (uint32 too) with each target (relative, absolute, PSNR, bits per
 * sample, exact for integer types) through the chunk functions, within the target on every
 * processor path; the header's fields; the float32 readers agree with the typed ones. */
static void test_version2_every_type(void) {
    static const struct {
        int bound;
        double max_error, psnr, bits_per_sample;
    } targets[] = {
        {KESTOVA_BOUND_RELATIVE, 1e-3, 0.0, 0.0}, {KESTOVA_BOUND_ABSOLUTE, 0.5, 0.0, 0.0},
        {KESTOVA_BOUND_NONE, 0.0, 50.0, 0.0},     {KESTOVA_BOUND_NONE, 0.0, 0.0, 6.0},
        {KESTOVA_BOUND_NONE, 0.0, 0.0, 0.0}, /* exact */
    };
    enum { n = 1000 };
    for (size_t t = 0; t < kTypeCount + sizeof kVersion2Types / sizeof kVersion2Types[0]; ++t) {
        const kestova_element_type type =
            t < kTypeCount ? kTypes[t].type : kVersion2Types[t - kTypeCount].type;
        const double scale =
            t < kTypeCount ? kTypes[t].scale : kVersion2Types[t - kTypeCount].scale;
        const double offset =
            t < kTypeCount ? kTypes[t].offset : kVersion2Types[t - kTypeCount].offset;
        const size_t size = kestova_element_size(type);
        const int integer = type >= KESTOVA_INT8;
        unsigned char elements[n * 8];
        double values[n], low = INFINITY, high = -INFINITY;
        for (int i = 0; i < n; ++i) {
            values[i] = store_element(type, elements + i * size, g_signal[i] * scale + offset);
            low = fmin(low, values[i]);
            high = fmax(high, values[i]);
        }
        for (size_t g = 0; g < sizeof targets / sizeof targets[0]; ++g) {
            kestova_options options;
            kestova_options_default(&options);
            options.stream_version = 2;
            options.bound = targets[g].bound;
            options.max_error = targets[g].max_error;
            options.psnr = targets[g].psnr;
            options.bits_per_sample = targets[g].bits_per_sample;
            const int exact = options.bound == KESTOVA_BOUND_NONE && options.psnr == 0.0 &&
                              options.bits_per_sample == 0.0;
            uint8_t* stream = NULL;
            size_t stream_size = 0, decoded = 0;
            const kestova_status status =
                kestova_chunk_encode(elements, n, type, &options, 0, &stream, &stream_size, NULL);
            if (exact && !integer) {
                CHECK(status == KESTOVA_ERROR_REFUSED);
                continue;
            }
            CHECK(status == KESTOVA_OK);
            if (status != KESTOVA_OK) continue;
            kestova_header header;
            CHECK(kestova_read_header(stream, stream_size, &header, NULL) == KESTOVA_OK);
            CHECK(header.version_major == 2 && header.samples == n && header.sample_count == n);
            CHECK(header.stream_size == stream_size && header.step > 0.0);
            CHECK(strcmp(header.element_type, type_name(type)) == 0);
            const double allowed = exact ? 0.0
                                   : options.bound == KESTOVA_BOUND_RELATIVE
                                       ? options.max_error * (high - low)
                                       : options.max_error;
            float* as_float = NULL;
            CHECK(kestova_decompress(stream, stream_size, &as_float, &decoded, NULL) == KESTOVA_OK);
            CHECK(decoded == n);
            for (int path = 0; pin_processor_path(path) != NULL; ++path) {
                unsigned char back[n * 8];
                CHECK(kestova_chunk_decode_into(stream, stream_size, type, n, KESTOVA_FILL_EXACT,
                                                back, n, &decoded, NULL) == KESTOVA_OK);
                double worst = 0.0, squares = 0.0;
                int same_as_float = 1;
                for (int i = 0; i < n; ++i) {
                    const double value = load_element(type, back + i * size);
                    worst = fmax(worst, fabs(value - values[i]));
                    squares += (value - values[i]) * (value - values[i]);
                    same_as_float &= as_float != NULL && as_float[i] == (float)value;
                }
                CHECK(decoded == n && same_as_float);
                if (options.psnr > 0.0) {
                    CHECK(squares == 0.0 ||
                          20.0 * log10((high - low) / sqrt(squares / n)) >= options.psnr);
                } else if (options.bits_per_sample > 0.0) {
                    CHECK(8.0 * (double)stream_size <= options.bits_per_sample * n);
                } else {
                    CHECK(worst <= allowed);
                }
                void* owned = NULL;
                size_t owned_count = 0;
                CHECK(kestova_chunk_decode(stream, stream_size, type, n, KESTOVA_FILL_EXACT, &owned,
                                           &owned_count, NULL) == KESTOVA_OK);
                CHECK(owned_count == n && owned != NULL && memcmp(owned, back, n * size) == 0);
                kestova_free(owned);
            }
            pin_processor_path(-1);
            kestova_free(as_float);
            kestova_free(stream);
        }
    }
}

/* Version-2 float32 streams through the stream functions: a bounded round trip, a short
 * buffer, a flipped byte (the checksum) and a cut stream as damage, and a .kst record after
 * the stream found by its stated length. */
static void test_version2_streams(void) {
    kestova_options options;
    kestova_options_default(&options);
    options.stream_version = 2;
    options.bound = KESTOVA_BOUND_RELATIVE;
    options.max_error = 1e-3;
    uint8_t* stream = NULL;
    size_t size = 0, count = 0;
    CHECK(kestova_compress(g_signal, kSignalLength, &options, &stream, &size, NULL) == KESTOVA_OK);
    if (stream == NULL) return;
    float low = g_signal[0], high = g_signal[0];
    for (int i = 0; i < kSignalLength; ++i) {
        low = fminf(low, g_signal[i]);
        high = fmaxf(high, g_signal[i]);
    }
    float* samples = NULL;
    CHECK(kestova_decompress(stream, size, &samples, &count, NULL) == KESTOVA_OK);
    CHECK(count == kSignalLength &&
          max_difference(samples, g_signal, count) <= 1e-3 * ((double)high - low));
    float small[16];
    CHECK(kestova_decompress_into(stream, size, small, 16, &count, NULL) ==
          KESTOVA_ERROR_BUFFER_TOO_SMALL);
    CHECK(count == kSignalLength);
    CHECK(kestova_decoded_count(stream, size, &count, NULL) == KESTOVA_OK &&
          count == kSignalLength);

    unsigned char* copy = malloc(size);
    memcpy(copy, stream, size);
    copy[size / 2] ^= 0x10;
    kestova_header header;
    kestova_error error;
    float* none = NULL;
    CHECK(kestova_decompress(copy, size, &none, &count, &error) ==
          KESTOVA_ERROR_DECOMPRESSION_FAILED);
    CHECK(none == NULL && error.message[0] != '\0');
    CHECK(kestova_read_header(copy, size, &header, NULL) == KESTOVA_ERROR_DECOMPRESSION_FAILED);
    CHECK(kestova_decoded_count(copy, size, &count, NULL) == KESTOVA_ERROR_DECOMPRESSION_FAILED);
    CHECK(kestova_decompress(stream, size - 1, &none, &count, NULL) ==
          KESTOVA_ERROR_DECOMPRESSION_FAILED);
    free(copy);

    size_t file_size = 0;
    unsigned char* file = kst_file(stream, size, &file_size);
    kestova_record record;
    float* from_file = NULL;
    CHECK(kestova_decompress(file, file_size, &from_file, &count, NULL) == KESTOVA_OK);
    CHECK(count == kSignalLength && from_file != NULL &&
          memcmp(from_file, samples, count * sizeof(float)) == 0);
    CHECK(kestova_read_record(file, file_size, &record, NULL) == KESTOVA_OK);
    CHECK(record.body_size == sizeof kRecordBody - 1);
    CHECK(kestova_read_record(stream, size, &record, NULL) == KESTOVA_ERROR_NO_RECORD);
    CHECK(kestova_read_header(file, file_size, &header, NULL) == KESTOVA_OK &&
          header.stream_size == size);
    kestova_free(from_file);
    free(file);
    kestova_free(samples);
    kestova_free(stream);
}

/* The version-2 golden fixtures decode to their recorded samples, typed and as float32. */
static void test_version2_fixtures(void) {
    char path[1024];
    snprintf(path, sizeof path, "%s_v2/MANIFEST", KESTOVA_FIXTURE_DIR);
    FILE* manifest = fopen(path, "r");
    CHECK(manifest != NULL);
    if (manifest == NULL) return;
    char line[512];
    int cases = 0;
    while (fgets(line, sizeof line, manifest) != NULL) {
        char name[256], element[16];
        if (line[0] == '#' || sscanf(line, "%255s %15s", name, element) != 2) continue;
        int type = 0;
        for (int k = KESTOVA_FLOAT32; k <= KESTOVA_UINT32; ++k)
            if (strcmp(element, type_name(k)) == 0) type = k;
        CHECK(type != 0);
        size_t stream_size = 0, expected_size = 0, decoded = 0, count = 0;
        snprintf(path, sizeof path, "%s_v2/%s.kv2", KESTOVA_FIXTURE_DIR, name);
        unsigned char* stream = read_file(path, &stream_size);
        snprintf(path, sizeof path, "%s_v2/%s.decoded", KESTOVA_FIXTURE_DIR, name);
        unsigned char* expected = read_file(path, &expected_size);
        CHECK(stream != NULL && expected != NULL);
        if (type == 0 || stream == NULL || expected == NULL) break;
        const size_t n = expected_size / kestova_element_size(type);
        void* back = NULL;
        CHECK(kestova_chunk_decode(stream, stream_size, type, n, KESTOVA_FILL_EXACT, &back,
                                   &decoded, NULL) == KESTOVA_OK);
        CHECK(decoded == n && (n == 0 || memcmp(back, expected, expected_size) == 0));
        float* samples = NULL;
        CHECK(kestova_decompress(stream, stream_size, &samples, &count, NULL) == KESTOVA_OK);
        CHECK(count == n &&
              (n == 0 ||
               samples[n - 1] ==
                   (float)load_element(type, expected + (n - 1) * kestova_element_size(type))));
        kestova_free(samples);
        kestova_free(back);
        free(expected);
        free(stream);
        ++cases;
    }
    fclose(manifest);
    CHECK(cases >= 8);
}

int main(void) {
    make_signal();
    RUN_CASE(test_version_and_messages);
    RUN_CASE(test_options_default);
    RUN_CASE(test_round_trips_on_every_path);
    RUN_CASE(test_golden_fixtures);
    RUN_CASE(test_chunks_every_type);
    RUN_CASE(test_chunk_trailing_nan);
    RUN_CASE(test_null_pointers);
    RUN_CASE(test_invalid_arguments);
    RUN_CASE(test_damaged_streams);
    RUN_CASE(test_record);
    RUN_CASE(test_version2_every_type);
    RUN_CASE(test_version2_streams);
    RUN_CASE(test_version2_fixtures);
    return check_summary();
}
