// The two forms of the per-sample loops behind sanitize, denormalize, quantize and
// quantize_would_clamp: plain C++ for every processor, SSE2 where the compiler targets x86 (where
// SSE2 is always present); both give identical results, and the public functions run SSE2 where
// it is built. The choice is the compiler's, not the processor path selector's
// (engine/processor_path.h): SSE2 belongs to every x86-64 processor, so nothing is left to detect
// at run time, and the selector chooses only among instruction sets beyond it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/normalize.h"

namespace kestova::sample_loops {

#if defined(__SSE2__)
#define KESTOVA_SSE2_LOOPS 1
#else
#define KESTOVA_SSE2_LOOPS 0
#endif

enum class Form { Plain, Sse2 };

// The forms this build holds, Plain first; tests run each.
std::vector<Form> built_forms();

// The contracts of the public functions of the same names (codec/normalize.h, codec/quantize.h),
// in the given form; a form not in built_forms() runs the plain one.
SampleRange sanitize(Form form, std::span<const float> samples, std::span<float> out);
void denormalize(Form form, std::span<float> values, float mean, SampleRange range);
bool quantize(Form form, std::span<const float> in, float multiplier, int32_t threshold,
              std::span<int16_t> out);
bool quantize_would_clamp(Form form, std::span<const float> in, float multiplier);

// The form the public functions run.
inline constexpr Form kDefaultForm = KESTOVA_SSE2_LOOPS ? Form::Sse2 : Form::Plain;

}  // namespace kestova::sample_loops
