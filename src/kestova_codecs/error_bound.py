"""Compression within a maximum error.

Kestova's scale is a precision knob, not a bound: the error it gives depends on the signal.
``compress_within`` returns, for one signal, a container whose decoded maximum error stays within
a bound. The tuned encoder (the default) meets it in one closed-loop pass: it starts at the
coarsest scale the bound allows, corrects only the coefficients that reach samples beyond the
bound, entropy-codes once and verifies by decoding once; it keeps a margin so that the bound holds
on every processor path a reader may decode on, and it can choose the method. The reference
encoder searches settings instead, coarse to fine by scale first (6 to 12), then by cutoff
("high", "medium", "low"): bisection on the scale with cutoff "low", then the coarser cutoffs at
that scale, 3 to 6 compressions and as many decompressions, each candidate checked by decoding.
"""

from __future__ import annotations

import math
import numbers

import numpy as np
from kestova import KestovaCompressionOptions

from kestova_codecs import _binding
from kestova_codecs.dtypes import check_dtype, restore, to_float32
from kestova_codecs.tables import CUTOFFS, DEFAULT_ENCODER, ENCODERS, MAX_SCALE, MIN_SCALE

FINEST_SCALE = MAX_SCALE
COARSEST_SCALE = MIN_SCALE
# Below this scale every cutoff level zeroes nothing, so only "low" is worth trying there.
FIRST_CUTTING_SCALE = 8
CUTOFFS_COARSE_FIRST = tuple(reversed(CUTOFFS))


def check_max_error(max_error) -> float:
    """``max_error`` as a float; ``TypeError`` or ``ValueError`` unless a finite number >= 0."""
    if isinstance(max_error, bool) or not isinstance(max_error, numbers.Real):
        raise TypeError(f"max_error must be a number, not {type(max_error).__name__}")
    value = float(max_error)
    if not (math.isfinite(value) and value >= 0):
        raise ValueError(f"max_error must be a finite number >= 0, but it was {max_error!r}")
    return value


def check_encoder(encoder) -> str:
    """``encoder``; ``TypeError`` or ``ValueError`` unless one of ``tables.ENCODERS``."""
    if not isinstance(encoder, str):
        raise TypeError(f"encoder must be a str, not {type(encoder).__name__}")
    if encoder not in ENCODERS:
        expected = " or ".join(repr(name) for name in ENCODERS)
        raise ValueError(f"Unknown encoder {encoder!r}, expected {expected}")
    return encoder


def compress_within(samples, max_error, *, relative=True, method="cdf97", coder=None,
                    encoder=DEFAULT_ENCODER) -> bytes:
    """Compress a 1-D array of samples into one Kestova container whose decoded values differ
    from ``samples`` by at most ``max_error`` (times the range max - min of ``samples`` when
    ``relative``).

    ``samples`` may be float32, float64 or an integer type the codecs store (int8, int16, int32,
    uint8, uint16); integer samples are judged as the codecs decode them, rounded and clipped,
    and float64 samples against their own values, not their float32 narrowing.
    ``encoder`` "tuned" (the default) meets the bound in one closed-loop pass and, with
    ``method=None``, chooses the method too; "reference" searches the reference encoder's
    settings for ``method``. Raises ``ValueError`` when the finest setting exceeds the bound (the
    message gives the error it reaches), and for NaN or infinite samples.
    """
    values = np.asarray(samples)
    if values.ndim != 1:
        raise ValueError(f"expected a 1-D array of samples, got {values.ndim} dimensions")
    dtype = check_dtype(values.dtype)
    bound = check_max_error(max_error)
    check_encoder(encoder)
    if method is None and encoder != "tuned":
        raise ValueError(f"encoder {encoder!r} compresses with one method: give method= "
                         "(only the tuned encoder chooses it when method=None)")
    named = {} if method is None else {"method": method}
    KestovaCompressionOptions(**named, coder=coder)
    floats = to_float32(values)
    # The extremes convert to float64 as every value would (monotonically): the span of the
    # float64 values without making them all.
    span = float(np.float64(values.max()) - np.float64(values.min())) if values.size else 0.0
    if relative:
        bound *= span
    unmet = _Unmet(max_error, relative, bound, span)
    if encoder == "tuned":
        return _tuned(values, floats, dtype, bound, method, coder, unmet)
    return _reference_search(floats, values.astype(np.float64), dtype, bound, method, coder,
                             unmet)


class _Unmet:
    """The ValueError of a bound the finest setting misses."""

    def __init__(self, max_error, relative: bool, bound: float, span: float):
        self.max_error, self.relative, self.bound, self.span = max_error, relative, bound, span

    def error(self, setting: str, reached: float) -> ValueError:
        kind = "relative" if self.relative else "absolute"
        text = (f"{kind} max_error {self.max_error} cannot be met: the finest setting "
                f"({setting}) leaves a max error of {reached:.6g}, above the bound "
                f"{self.bound:.6g}")
        if self.span > 0:
            text += (f"; as fractions of the range {self.span:.6g}: {reached / self.span:.3g} "
                     f"reached, {self.bound / self.span:.3g} asked")
        return ValueError(text)


def _tuned(values, floats, dtype, bound, method, coder, unmet) -> bytes:
    # What the float32 samples may be off by, so that the decoded values meet the bound against
    # what the caller gave: integers round to the nearest whole number (any error below
    # floor(bound) + 1/2 rounds to at most floor(bound)), and narrowing to float32 takes its
    # own share (none for native float32 samples, which are stored as they are; NaN and
    # infinities are left to the binding, which refuses them).
    narrowing = 0.0
    if floats.size and values.dtype != np.float32:
        narrowing = float(np.max(np.abs(values.astype(np.float64) - floats)))
    allowed = (math.floor(bound) + 0.5 if dtype.kind in "iu" else bound) - narrowing
    if not math.isfinite(allowed):
        allowed = 0.0  # non-finite samples: the binding refuses them with its own message
    if allowed < 0:
        raise unmet.error("float32 narrowing", narrowing)
    data, reached, _, _ = _binding.compress_bounded(floats, allowed, method, coder)
    if data is None:
        raise unmet.error(f"scale {FINEST_SCALE}, tuned encoder, corrected", reached + narrowing)
    return data


def _reference_search(floats, reference, dtype, bound, method, coder, unmet) -> bytes:
    def trial(scale: int, cutoff: str) -> tuple[bytes, float]:
        data = _binding.compress(floats, method, scale, cutoff, coder)
        decoded = restore(np.frombuffer(_binding.decompress(data), np.float32), dtype)
        return data, float(np.max(np.abs(decoded - reference)))

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
            raise unmet.error(f"scale {FINEST_SCALE}, cutoff 'low'", error)
    if high >= FIRST_CUTTING_SCALE:
        for cutoff in CUTOFFS_COARSE_FIRST[:-1]:
            data, error = trial(high, cutoff)
            if error <= bound:
                return data
    return best
