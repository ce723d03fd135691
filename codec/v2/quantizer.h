// The closed loop that puts samples on a grid within a maximum error: choose the grid from the
// target, quantise, reconstruct every sample with the decoder's own grid_sample, correct the
// indices of samples beyond the bound, and shrink the step when corrections cannot help.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/error.h"
#include "codec/v2/element_type.h"
#include "codec/v2/grid.h"

namespace kestova::v2 {

// A maximum error, absolute (the samples' units) or relative to the range max - min; 0 asks for
// exact reconstruction.
struct MaxError {
    double value = 0.0;
    bool relative = true;
};

// Samples of any recorded element type, read in place.
struct SampleView {
    ElementType type = ElementType::Float32;
    const void* data = nullptr;
    std::size_t count = 0;
};

struct Quantized {
    Grid grid;
    std::vector<uint32_t> indices;
    double max_error = 0.0;  // largest |decoded - sample| over the samples, in their units
};

// The indices of `samples` on the coarsest grid found whose decoded samples are all within the
// target. Refuses NaN and infinities, a target that is not a finite number >= 0, and a target
// the 32-bit indices or the element type's precision cannot meet (naming the error reached).
KestovaResult<Quantized> quantize_within(SampleView samples, MaxError target);

}  // namespace kestova::v2
