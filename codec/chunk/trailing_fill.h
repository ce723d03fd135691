// How many samples a chunk's container holds against the elements the chunk has. A float chunk
// may end in a run of NaN (fill-value padding of an array's edge chunk): the run is left out of
// the container and restored as NaN on decoding. Every other shortfall, and every container
// announcing more samples than its chunk may hold, is refused from the header alone, before
// anything is decoded, so a forged sample count costs nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>

#include "codec/element_type.h"

namespace kestova {

// How many leading samples of a chunk of `type` to store: all of them, unless it is a float chunk
// ending in NaN after at least one other value (an all-NaN chunk is stored whole, and refused).
std::size_t stored_length(std::span<const float> samples, ElementType type);

// What a surface knows of the chunk a container decodes into.
enum class ChunkFill : uint8_t {
    Exact,        // exactly `elements` samples
    TrailingNaN,  // `elements`; float chunks may hold fewer samples, the rest NaN
    AtMost,       // any count up to `elements` (the chunk's size is unknown, `elements` a limit)
};
struct ChunkExtent {
    uint64_t elements = 0;
    ChunkFill fill = ChunkFill::Exact;
};

// The refusal of a container announcing `announced` samples for `extent` of `type`, if any.
std::expected<void, std::string> check_announced(uint64_t announced, ChunkExtent extent,
                                                 ElementType type);

// The elements the decoded chunk has: `announced` under AtMost, else extent.elements.
uint64_t decoded_elements(uint64_t announced, ChunkExtent extent);

}  // namespace kestova
