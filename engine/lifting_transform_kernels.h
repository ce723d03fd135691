// The members of LiftingTransform<Scheme, I>. Include only from the module that instantiates a
// variant, after the header of its arithmetic (lifting_portable.h, avx/lifting_avx.h), which
// declares the `arithmetic_for` overload naming the back end of instruction set I.
#pragma once

#include <cstddef>

#include "engine/lifting_steps.h"
#include "engine/lifting_transform.h"

namespace Undra {

template <class Scheme, Isa I>
LiftingTransform<Scheme, I>::LiftingTransform() : LiftingExecutor(Scheme::kShape) {}

template <class Scheme, Isa I>
void LiftingTransform<Scheme, I>::forward_kernel(const float* x, std::size_t n, float* s,
                                                 float* d) const {
    Scheme::template forward<lifting::ArithmeticFor<I>>(x, n, s, d);
}

template <class Scheme, Isa I>
void LiftingTransform<Scheme, I>::inverse_kernel(const float* s, const float* d, std::size_t e,
                                                 std::size_t o, float* y) const {
    Scheme::template inverse<lifting::ArithmeticFor<I>>(s, d, e, o, y);
}

}  // namespace Undra
