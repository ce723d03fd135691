// The steps every encoder shares around its choice of coefficients: input checks, sanitising and
// normalising, the executor and level plan, and the container around a coefficient image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.h"
#include "codec/level_layout.h"
#include "codec/level_quantizer.h"
#include "codec/normalize.h"
#include "codec/options.h"
#include "codec/uninit_buffer.h"
#include "engine/executor.h"

namespace kestova {

// A signal ready for analysis.
struct PreparedSignal {
    Undra::SharedDwtExecutor executor;
    std::size_t sample_count = 0;
    std::size_t transform_length = 0;
    UninitBuffer<float> signal;  // normalised, extended periodically to transform_length
    SampleRange range{};
    float mean = 0.0f;
    LevelLayout layout;  // the planned levels
    uint8_t coder = 0;   // the header's coder byte
};

// Checks the input and the options, then sanitises, normalises and extends the samples and plans
// the levels, in the reference order of checks.
KestovaResult<PreparedSignal> prepare_signal(std::span<const float> samples,
                                             CompressionOptions options);

// Fills `signal` (the transform length) from `samples` as prepare_signal does: sanitised,
// normalised, extended periodically; returns the range and the mean that takes. For encoders
// that analyse the same samples more than once, since an analysis overwrites its signal.
struct NormalizedSignal {
    SampleRange range;
    float mean;
};
NormalizedSignal fill_working_signal(std::span<const float> samples, std::span<float> signal);

// The level count the encoders plan for `n` samples and a transform of `filter_length` taps.
std::size_t planned_levels(std::size_t n, std::size_t filter_length);

// A coefficient sequence for `layout` (with room for its finest details as floats, which
// decompose_and_quantize writes there first), or OutOfMemory with its detail count.
KestovaResult<UninitBuffer<int16_t>> allocate_coefficients(const LevelLayout& layout);

// Appends one complete raw deflate stream of the bytes to the array.
using DeflateFunction = KestovaResult<void> (*)(std::span<const uint8_t>, std::vector<uint8_t>&);

// What a container records besides its payload.
struct ContainerFields {
    CompressionMethod method;
    std::size_t levels;
    uint8_t scale;
    uint8_t coder;
    const PreparedSignal* prepared;
};

// The header and the payload that `fields.coder` codes from `coefficients` (the sequence for
// `fields.levels` levels); deflate payloads are made by `deflate`.
KestovaResult<std::vector<uint8_t>> write_container(std::span<const int16_t> coefficients,
                                                    const ContainerFields& fields,
                                                    DeflateFunction deflate);

// A whole encoding at the options' scale: prepare, analyse with `quantizer` choosing the
// coefficients, and write the container.
KestovaResult<std::vector<uint8_t>> encode_with(std::span<const float> samples,
                                                CompressionOptions options,
                                                const LevelQuantizer& quantizer,
                                                DeflateFunction deflate);

}  // namespace kestova
