// Grid indices chosen for their cost under a PSNR target. There the bound is the mean squared
// error, not any one sample's, so a sample whose position lies near the middle between two grid
// points may take the farther one when that one is nearer the previous index: its error grows a
// little, its residual and the next one's shrink. The PSNR search then takes a finer step to
// reach the same PSNR. At low PSNR (a coarse step, residuals of a few steps) this stores less on
// signals coded by their first differences and more on those a longer predictor fits, so the
// encoder tries it only where the nearest indices were coded by their first differences, and
// keeps the smaller stream.
#pragma once

#include <cstdint>

#include "codec/v2/quantizer.h"

namespace kestova::v2 {

// Targets up to this PSNR (dB) may try the leaning indices beside the nearest ones.
inline constexpr double kLeaningPsnr = 55.0;

// Whether leaning indices are worth a second search at `psnr`, the nearest indices' stream having
// taken the prediction method `method` (a byte of kMethods).
bool leaning_may_pay(double psnr, uint8_t method);

// Moves indices of `quantized` (the nearest grid points of `samples`) one step towards the
// previous index where the bits saved on this residual and the next outweigh the squared error
// added, and sets its max_error and rms_error to what the decoder's reconstruction then gives.
void lean_towards_previous(SampleView samples, Quantized& quantized);

}  // namespace kestova::v2
