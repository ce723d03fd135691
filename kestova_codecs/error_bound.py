"""Compression within a maximum error.

Kestova's scale is a precision knob, not a bound: the error it gives depends on the signal.
``compress_within`` finds, for one signal, the coarsest setting whose decoded maximum error stays
within a bound, and checks each candidate by decoding it. Settings are ordered coarse to fine by
scale first (6 to 12), then by cutoff ("high", "medium", "low"). The scale is found by bisection
with cutoff "low", then the coarser cutoffs are tried at that scale; so one call costs 3 to 6
(mostly 4 or 5) compressions and as many decompressions, where a plain compression costs one. Every returned
container is verified; only its optimality assumes that the error shrinks as the scale grows.
"""

from __future__ import annotations

import math
import numbers

import numpy as np
from kestova import KestovaCompressionOptions

from kestova_codecs import _binding
from kestova_codecs.dtypes import check_dtype, restore, to_float32

FINEST_SCALE = 12
COARSEST_SCALE = 6
# Below this scale every cutoff level zeroes nothing, so only "low" is worth trying there.
FIRST_CUTTING_SCALE = 8
CUTOFFS_COARSE_FIRST = ("high", "medium", "low")


def check_max_error(max_error) -> float:
    """``max_error`` as a float; ``TypeError`` or ``ValueError`` unless a finite number >= 0."""
    if isinstance(max_error, bool) or not isinstance(max_error, numbers.Real):
        raise TypeError(f"max_error must be a number, not {type(max_error).__name__}")
    value = float(max_error)
    if not (math.isfinite(value) and value >= 0):
        raise ValueError(f"max_error must be a finite number >= 0, but it was {max_error!r}")
    return value


def compress_within(samples, max_error, *, relative=True, method="cdf97", coder=None) -> bytes:
    """Compress a 1-D array of samples into one Kestova container whose decoded values differ
    from ``samples`` by at most ``max_error`` (times the range max - min of ``samples`` when
    ``relative``), at the coarsest setting found that does so.

    ``samples`` may be float32, float64 or an integer type the codecs store (int8, int16, int32,
    uint8, uint16); integer samples are judged as the codecs decode them, rounded and clipped.
    Raises ``ValueError`` when even scale 12 with cutoff "low" exceeds the bound (the message
    gives the error it reaches), and for NaN or infinite samples.
    """
    values = np.asarray(samples)
    if values.ndim != 1:
        raise ValueError(f"expected a 1-D array of samples, got {values.ndim} dimensions")
    dtype = check_dtype(values.dtype)
    bound = check_max_error(max_error)
    KestovaCompressionOptions(method=method, coder=coder)
    floats = to_float32(values)
    reference = values.astype(np.float64)

    def trial(scale: int, cutoff: str) -> tuple[bytes, float]:
        data = _binding.compress(floats, method, scale, cutoff, coder)
        decoded = restore(np.frombuffer(_binding.decompress(data), np.float32), dtype)
        return data, float(np.max(np.abs(decoded - reference)))

    if relative and values.size:
        bound *= float(reference.max() - reference.min())

    # Bisection for the coarsest scale that meets the bound with cutoff "low". Every scale
    # below `low` fails; `high` passes (with `best` its container), or is the untried finest.
    best, low, high = None, COARSEST_SCALE, FINEST_SCALE
    while low < high:
        middle = (low + high) // 2
        data, error = trial(middle, "low")  # the first trial refuses empty and non-finite input
        if error <= bound:
            best, high = data, middle
        else:
            low = middle + 1
    if best is None:
        best, error = trial(FINEST_SCALE, "low")
        if error > bound:
            kind = "relative" if relative else "absolute"
            raise ValueError(f"{kind} max_error {max_error} cannot be met: the finest setting "
                             f"(scale {FINEST_SCALE}, cutoff 'low') leaves a max error of "
                             f"{error:.6g}, above the bound {bound:.6g}")
    if high >= FIRST_CUTTING_SCALE:
        for cutoff in CUTOFFS_COARSE_FIRST[:-1]:
            data, error = trial(high, cutoff)
            if error <= bound:
                return data
    return best
