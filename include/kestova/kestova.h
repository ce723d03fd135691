/* Kestova's C interface: a lossy compressor for 1-D sampled signals.
 *
 * A stream is one Kestova container (what kestova.compress_signal returns); a .kst file is a
 * stream, optionally followed by the kestova command's record of the source.
 *
 * Threads: every function is reentrant and may be called from any number of threads at once.
 * The library keeps no state between calls; the only shared data are read-only tables. Details
 * of a failure go into an optional kestova_error the caller owns, never into a global.
 *
 * Memory: kestova_compress, kestova_decompress and kestova_chunk_encode/decode allocate their
 * result; release it with kestova_free. The *_into variants write into the caller's buffer
 * and allocate nothing the caller sees; nothing is ever written past a given capacity.
 *
 * Errors: every function returning kestova_status returns KESTOVA_OK or an error code; no
 * C++ exception crosses this interface. On failure the outputs are left as they were except
 * where a function says otherwise (a needed size). */
#ifndef KESTOVA_KESTOVA_H
#define KESTOVA_KESTOVA_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* --- version ------------------------------------------------------------------------------ */

/* The library's version as MAJOR * 10000 + MINOR * 100 + PATCH, and as text ("0.1.0"). */
unsigned kestova_version_number(void);
const char* kestova_version_string(void);

/* --- errors ------------------------------------------------------------------------------- */

/* Codes 1 to 12 are the codec's error kinds; the rest belong to this interface. */
typedef enum kestova_status {
    KESTOVA_OK = 0,
    KESTOVA_ERROR_INVALID_METHOD = 1, /* the header's method tag is unknown */
    KESTOVA_ERROR_INVALID_MAGIC = 2,  /* not a Kestova stream */
    KESTOVA_ERROR_INVALID_FORMAT_TAG = 3,
    KESTOVA_ERROR_INVALID_VERSION = 4, /* a stream version this library does not read */
    KESTOVA_ERROR_TRANSFORM = 5,
    KESTOVA_ERROR_IO = 6, /* the deflate library failed */
    KESTOVA_ERROR_OUT_OF_MEMORY = 7,
    KESTOVA_ERROR_INVALID_HEADER = 8, /* shorter than a header */
    KESTOVA_ERROR_UNSUPPORTED_CONFIGURATION = 9,
    KESTOVA_ERROR_DECOMPRESSION_FAILED = 10, /* a damaged or inconsistent stream */
    KESTOVA_ERROR_UNSUPPORTED_SCALE = 11,
    KESTOVA_ERROR_UNKNOWN_CODER = 12,
    KESTOVA_ERROR_NULL_POINTER = 13,     /* a required pointer argument is NULL */
    KESTOVA_ERROR_INVALID_ARGUMENT = 14, /* an option value or size no function accepts */
    KESTOVA_ERROR_BUFFER_TOO_SMALL = 15, /* the caller's buffer cannot hold the result */
    KESTOVA_ERROR_REFUSED = 16,          /* the input or a bound is refused (see message) */
    KESTOVA_ERROR_NO_RECORD = 17,        /* nothing follows the stream */
    KESTOVA_ERROR_INVALID_RECORD = 18,   /* what follows the stream is no valid record */
    KESTOVA_ERROR_INTERNAL = 19          /* a fault inside the library */
} kestova_status;

/* The fixed text of a code ("unknown error code" for a number that is none); static storage. */
const char* kestova_error_message(int code);

/* The details of one failure, filled by any function given a non-NULL pointer to one: `code`
 * as returned and `message` the full text (truncated to fit, always NUL-terminated). Owned by
 * the caller, so each thread keeps its own. On success `code` is KESTOVA_OK, message empty. */
typedef struct kestova_error {
    kestova_status code;
    char message[256];
} kestova_error;

/* --- options ------------------------------------------------------------------------------ */

typedef enum kestova_method {
    KESTOVA_METHOD_CDF53 = 0,
    KESTOVA_METHOD_CDF97 = 1,
    KESTOVA_METHOD_DB4 = 2,
    KESTOVA_METHOD_SYM4 = 3
} kestova_method;
typedef enum kestova_coder {
    KESTOVA_CODER_DEFLATE = 0,
    KESTOVA_CODER_ARANS = 1,
    KESTOVA_CODER_AUTO = 2
} kestova_coder;
typedef enum kestova_cutoff {
    KESTOVA_CUTOFF_LOW = 0,
    KESTOVA_CUTOFF_MEDIUM = 1,
    KESTOVA_CUTOFF_HIGH = 2
} kestova_cutoff;
/* REFERENCE writes exactly kestova.compress_signal's bytes; TUNED chooses coefficients by the
 * tuned rule and meets an error bound in one closed-loop pass. */
typedef enum kestova_encoder {
    KESTOVA_ENCODER_REFERENCE = 0,
    KESTOVA_ENCODER_TUNED = 1
} kestova_encoder;
typedef enum kestova_bound {
    KESTOVA_BOUND_NONE = 0,
    KESTOVA_BOUND_RELATIVE = 1, /* max_error relative to the signal's max - min */
    KESTOVA_BOUND_ABSOLUTE = 2  /* max_error in the samples' units */
} kestova_bound;

/* How to compress. Start from kestova_options_default; fields are only ever appended. The
 * choices are ints holding the enumerators above, so that any number a caller stores is a
 * value the library can check and refuse (KESTOVA_ERROR_INVALID_ARGUMENT). */
typedef struct kestova_options {
    int method;  /* a kestova_method; unused when choose_method is set */
    int coder;   /* a kestova_coder */
    int cutoff;  /* a kestova_cutoff */
    int scale;   /* the coefficient scale's exponent, 6 to 12 */
    int encoder; /* a kestova_encoder */
    int bound;   /* a kestova_bound; with a bound, scale and cutoff stay at their defaults */
    double max_error;
    int choose_method; /* nonzero: the tuned encoder picks the method (needs a bound) */
    /* The stream version to write: 0 (the default: version 1), 1 or 2. Version 2 keeps the samples'
     * own element type (kestova_chunk_encode) and takes one target: `bound` with `max_error`, or
     * `psnr`, or `bits_per_sample`, or none for an exact integer chunk; method, coder, cutoff,
     * scale, encoder and choose_method stay at their defaults (else
     * KESTOVA_ERROR_INVALID_ARGUMENT). */
    int stream_version;
    double psnr; /* version 2: the PSNR in dB to hold; 0 (the default) for none */
    /* Version 2: the most bits per sample the whole stream may take (0.01 to 64), on the finest
     * grid found within it; 0 (the default) for none. */
    double bits_per_sample;
} kestova_options;

/* The defaults: cdf97, auto coder, cutoff low, scale 11, the reference encoder, no bound, so
 * kestova_compress with them writes kestova.compress_signal's bytes. */
void kestova_options_default(kestova_options* options);

/* --- streams ------------------------------------------------------------------------------ */

/* Compresses `count` float32 samples into a stream allocated by the library (*out, *out_size);
 * `options` may be NULL for the defaults (stream_version 2: a version-2 float32 stream). An empty
 * signal is refused, and so are NaN, infinities and a nonzero range below the smallest normal float
 * (KESTOVA_ERROR_REFUSED), which kestova.compress_signal would store as other values; every other
 * signal gets its bytes. */
kestova_status kestova_compress(const float* samples, size_t count, const kestova_options* options,
                                uint8_t** out, size_t* out_size, kestova_error* error);

/* The same into `dst` of `capacity` bytes; *written gets the stream's size, or, with
 * KESTOVA_ERROR_BUFFER_TOO_SMALL, the size needed (nothing is written to dst then). A stream's
 * size is known only once it is encoded: query with capacity 0, or give a generous buffer. */
kestova_status kestova_compress_into(const float* samples, size_t count,
                                     const kestova_options* options, uint8_t* dst, size_t capacity,
                                     size_t* written, kestova_error* error);

/* The number of samples the stream (or .kst file) decodes to, from its header alone. */
kestova_status kestova_decoded_count(const uint8_t* stream, size_t size, size_t* count,
                                     kestova_error* error);

/* Decodes a stream or .kst file of either version into float32 samples allocated by the
 * library (a version-2 stream of another element type is converted to float32; decode it as a
 * chunk of its own type to keep it). A stream of 0 samples gives *samples == NULL, *count 0. */
kestova_status kestova_decompress(const uint8_t* stream, size_t size, float** samples,
                                  size_t* count, kestova_error* error);

/* The same into `dst` of `capacity` samples; *count gets the samples written, or, with
 * KESTOVA_ERROR_BUFFER_TOO_SMALL, the count needed (nothing is written to dst then). */
kestova_status kestova_decompress_into(const uint8_t* stream, size_t size, float* dst,
                                       size_t capacity, size_t* count, kestova_error* error);

/* Every field of a stream's header. A version-2 stream (version_major 2) fills version_major,
 * sample_count, payload_length, stream_size and the fields from `samples` on; the other
 * version-1 fields are zero for it (method_tag ""). Reading a version-2 header checks the
 * stream's checksum. Fields are only ever appended. */
typedef struct kestova_header {
    uint8_t version_major, version_minor;
    char method_tag[5]; /* the four tag bytes, NUL-terminated */
    kestova_method method;
    uint8_t levels;
    uint8_t scale;
    kestova_coder coder; /* DEFLATE or ARANS */
    uint8_t flags;
    uint32_t sample_count;
    float signal_min, signal_max, normalized_mean;
    uint32_t payload_length;
    size_t stream_size; /* the whole stream: where a .kst record would begin */
    /* Appended with version 2; filled for either version. */
    uint64_t samples;     /* the sample count (sample_count is it, capped at UINT32_MAX) */
    char element_type[8]; /* the samples' type as NumPy names it: "float32" for version 1 */
    double step, origin;  /* version 2: sample = origin + k * step; 0 for version 1 */
} kestova_header;

/* Reads and checks a header (as the decoder does) without decoding the payload. */
kestova_status kestova_read_header(const uint8_t* stream, size_t size, kestova_header* header,
                                   kestova_error* error);

/* The record after a stream in a .kst file: its version and its JSON body, pointing into
 * `file`. KESTOVA_ERROR_NO_RECORD when the file holds the stream alone; a wrong magic, an
 * unknown version, a length that does not end the file or a checksum that does not match is
 * KESTOVA_ERROR_INVALID_RECORD. The body is returned as bytes: it is not parsed here. */
typedef struct kestova_record {
    uint8_t version;
    const uint8_t* body;
    size_t body_size;
} kestova_record;
kestova_status kestova_read_record(const uint8_t* file, size_t size, kestova_record* record,
                                   kestova_error* error);

/* --- array chunks ------------------------------------------------------------------------- */

/* The element types a chunk may hold. A version-1 stream stores them as float32 samples; a
 * version-2 stream keeps the type, and UINT32 is stored in version 2 only (a version-1 stream
 * neither writes nor decodes into it: KESTOVA_ERROR_REFUSED). The chunk functions take them (and
 * a kestova_chunk_fill) as ints, checked by the library. */
typedef enum kestova_element_type {
    KESTOVA_FLOAT32 = 1,
    KESTOVA_FLOAT64 = 2,
    KESTOVA_INT8 = 3,
    KESTOVA_INT16 = 4,
    KESTOVA_INT32 = 5,
    KESTOVA_UINT8 = 6,
    KESTOVA_UINT16 = 7,
    KESTOVA_UINT32 = 8
} kestova_element_type;

/* What the decoder knows of the chunk a stream decodes into. */
typedef enum kestova_chunk_fill {
    KESTOVA_FILL_EXACT = 0,        /* exactly `elements` samples */
    KESTOVA_FILL_TRAILING_NAN = 1, /* float chunks may hold fewer; the rest decodes as NaN */
    KESTOVA_FILL_AT_MOST = 2       /* any count up to `elements` */
} kestova_chunk_fill;

/* Bytes per element of `type`; 0 for a number that is no type. */
size_t kestova_element_size(int type);

/* Encodes `count` elements of `type` (native byte order, any alignment) into a stream allocated
 * by the library, by the rules every Kestova surface shares (the numcodecs and zarr codecs, the
 * HDF5 filter). With `omit_trailing_nan` a float chunk's trailing NaN run is left out. */
kestova_status kestova_chunk_encode(const void* elements, size_t count, int type,
                                    const kestova_options* options, int omit_trailing_nan,
                                    uint8_t** out, size_t* out_size, kestova_error* error);

/* The elements `stream` decodes into for a chunk of `elements` elements with `fill`, from the
 * header alone (a stream announcing more than the chunk may hold is refused here). */
kestova_status kestova_chunk_decoded_elements(const uint8_t* stream, size_t size, int type,
                                              uint64_t elements, int fill, size_t* decoded,
                                              kestova_error* error);

/* Decodes into `dst` of `capacity` elements of `type`; *decoded gets the elements written, or,
 * with KESTOVA_ERROR_BUFFER_TOO_SMALL, the elements needed (nothing written to dst then). */
kestova_status kestova_chunk_decode_into(const uint8_t* stream, size_t size, int type,
                                         uint64_t elements, int fill, void* dst, size_t capacity,
                                         size_t* decoded, kestova_error* error);

/* The same into elements allocated by the library (*out, *decoded elements). */
kestova_status kestova_chunk_decode(const uint8_t* stream, size_t size, int type, uint64_t elements,
                                    int fill, void** out, size_t* decoded, kestova_error* error);

/* --- memory ------------------------------------------------------------------------------- */

/* Frees what a function of this library allocated; NULL is ignored. */
void kestova_free(void* memory);

#ifdef __cplusplus
}
#endif

#endif /* KESTOVA_KESTOVA_H */
