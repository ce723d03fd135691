/* compress_f32 IN.f32 OUT.kst: raw little-endian float32 samples to a Kestova stream with the
 * default settings (the bytes kestova.compress_signal writes). The output is the stream alone,
 * which is a complete .kst file: the record the kestova command adds after it is optional. */
#include <stdio.h>
#include <stdlib.h>

#include <kestova/kestova.h>

static unsigned char* read_all(const char* path, size_t* size) {
    FILE* file = fopen(path, "rb");
    if (file == NULL) return NULL;
    size_t capacity = 1 << 16, used = 0;
    unsigned char* bytes = malloc(capacity);
    size_t got;
    while (bytes != NULL && (got = fread(bytes + used, 1, capacity - used, file)) > 0) {
        used += got;
        if (used == capacity) {
            unsigned char* grown = realloc(bytes, capacity *= 2);
            if (grown == NULL) free(bytes);
            bytes = grown;
        }
    }
    fclose(file);
    *size = used;
    return bytes;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s IN.f32 OUT.kst\n", argv[0]);
        return 2;
    }
    size_t size = 0;
    unsigned char* input = read_all(argv[1], &size);
    if (input == NULL) {
        fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    if (size % 4 != 0) {
        fprintf(stderr, "%s holds no whole number of float32 samples\n", argv[1]);
        free(input);
        return 1;
    }
    /* The samples are little-endian float32, as this (little-endian) host holds them. */
    uint8_t* stream = NULL;
    size_t stream_size = 0;
    kestova_error error;
    const kestova_status status =
        kestova_compress((const float*)input, size / 4, NULL, &stream, &stream_size, &error);
    free(input);
    if (status != KESTOVA_OK) {
        fprintf(stderr, "compression failed: %s\n", error.message);
        return 1;
    }
    FILE* out = fopen(argv[2], "wb");
    const int written = out != NULL && fwrite(stream, 1, stream_size, out) == stream_size;
    if (out != NULL && fclose(out) != 0) return 1;
    kestova_free(stream);
    if (!written) {
        fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    printf("%zu samples -> %zu bytes (Kestova %s)\n", size / 4, stream_size,
           kestova_version_string());
    return 0;
}
