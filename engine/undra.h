// The engine's public factories. Each returns a shared handle to an immutable executor, picks
// the variant for this processor once (see select_isa) and cannot fail. The overloads taking
// an Isa build that variant explicitly (for tests and benchmarks; the caller checks support).
#pragma once

#include <cstdint>

#include "engine/executor.h"
#include "engine/util.h"

namespace Undra {

// Order of a Daubechies wavelet: value v is db(v+1) with 2(v+1) taps.
enum class DaubechiesFamily : uint32_t {
    Db1 = 0, Db2, Db3, Db4, Db5, Db6, Db7, Db8, Db9, Db10, Db11, Db12,
    Db13, Db14, Db15, Db16, Db17, Db18, Db19, Db20, Db21, Db22, Db23, Db24,
};

// Order of a Symlet: value v is sym(v+2) with 2v+4 taps.
enum class SymletFamily : uint32_t {
    Sym2 = 0, Sym3, Sym4, Sym5, Sym6, Sym7, Sym8, Sym9, Sym10, Sym11,
    Sym12, Sym13, Sym14, Sym15, Sym16, Sym17, Sym18, Sym19, Sym20,
};

// CDF 9/7 lifting transform (filter length 10).
SharedDwtExecutor make_cdf97_f32();
SharedDwtExecutor make_cdf97_f32(Isa isa);

// CDF 5/3 lifting transform (filter length 6).
SharedDwtExecutor make_cdf53_f32();
SharedDwtExecutor make_cdf53_f32(Isa isa);

// Daubechies filter bank of the given order, completed for multi-level use.
SharedDwtExecutor make_daubechies_f32(DaubechiesFamily order, BorderMode border);
SharedDwtExecutor make_daubechies_f32(DaubechiesFamily order, BorderMode border, Isa isa);

// Symlet filter bank of the given order, completed for multi-level use.
SharedDwtExecutor make_symlet_f32(SymletFamily order, BorderMode border);
SharedDwtExecutor make_symlet_f32(SymletFamily order, BorderMode border, Isa isa);

}  // namespace Undra
