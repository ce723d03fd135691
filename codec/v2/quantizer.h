// The closed loop that puts samples on a grid within a maximum error: choose the grid from the
// target, quantise, reconstruct every sample with the decoder's own grid_sample, correct the
// indices of samples beyond the bound, and shrink the step when corrections cannot help.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "codec/element_type.h"
#include "codec/error.h"
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
    double rms_error = 0.0;  // root mean square of decoded - sample; NaN when not measured
    double range = 0.0;      // max - min of the samples
};

// The indices of `samples` on the coarsest grid found whose decoded samples are all within the
// target. Refuses NaN and infinities, a target that is not a finite number >= 0, and a target
// the 32-bit indices or the element type's precision cannot meet (naming the error reached).
// Without `measure_rms` the rms error is left unmeasured (NaN), which saves a serial sum per pass.
KestovaResult<Quantized> quantize_within(SampleView samples, MaxError target,
                                         bool measure_rms = true);

// The PSNRs a target may ask for, in dB: 20 log10(range / rms error), range = max - min.
inline constexpr std::pair<double, double> kPsnrRange{1.0, 200.0};

// The indices of `samples` on a grid whose decoded samples reach at least `psnr` dB, the coarsest
// of a few tried (the first from the rms error of a uniform grid, then narrowed by what it
// missed). Refuses a PSNR outside kPsnrRange and what quantize_within refuses. With `leaning`,
// each grid's indices lean towards their predecessors where that saves bits (psnr_quantizer.h).
// With `first_grid`: empty, it receives the nearest indices on the first grid tried (which depends
// only on `psnr`); holding them, a second search at the same `psnr` starts from them (and empties
// it) instead of quantising again. Signals long enough to be probed leave it unused: each search
// aims its first grid by a probe of its own.
KestovaResult<Quantized> quantize_to_psnr(SampleView samples, double psnr, bool leaning = false,
                                          std::optional<Quantized>* first_grid = nullptr);

}  // namespace kestova::v2
