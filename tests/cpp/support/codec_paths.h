// The codec's calls on one processor path, pinned through the selector's test override, so that
// a case runs on every path this machine has. Pins nest: a read on another path inside a pinned
// case pins again for its own call.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "codec/compressor.h"
#include "codec/decompressor.h"
#include "codec/method_executor.h"
#include "codec/tuned/tuned_compressor.h"
#include "engine/processor_path.h"

namespace kestova::testing_support {

// call() with every executor selection pinned to `isa`.
template <typename Call>
auto on_path(Undra::Isa isa, Call&& call) {
    const Undra::ScopedIsaOverride pin(isa);
    return call();
}

inline KestovaResult<std::vector<uint8_t>> compress_on(std::span<const float> samples,
                                                       CompressionOptions options, Undra::Isa isa) {
    return on_path(isa, [&] { return compress(samples, options); });
}

inline KestovaResult<std::vector<float>> decompress_on(std::span<const uint8_t> bytes,
                                                       Undra::Isa isa) {
    return on_path(isa, [&] { return decompress(bytes); });
}

inline KestovaResult<std::vector<uint8_t>> compress_tuned_on(std::span<const float> samples,
                                                             CompressionOptions options,
                                                             Undra::Isa isa) {
    return on_path(isa, [&] { return compress_tuned(samples, options); });
}

inline KestovaResult<std::vector<uint8_t>> compress_bounded_on(
    std::span<const float> samples, ErrorBound bound, std::optional<CompressionMethod> method,
    EntropyCoder coder, Undra::Isa isa) {
    return on_path(isa, [&] { return compress_bounded(samples, bound, method, coder); });
}

inline Undra::SharedDwtExecutor make_method_executor_on(CompressionMethod method, Undra::Isa isa) {
    return on_path(isa, [&] { return make_method_executor(method); });
}

}  // namespace kestova::testing_support
