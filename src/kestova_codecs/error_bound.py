"""Compression within a maximum error.

Kestova's scale is a precision knob, not a bound: the error it gives depends on the signal.
``compress_within`` returns, for one signal, a container whose decoded maximum error stays within
a bound, on every processor path a reader may decode on (a margin is kept below the bound). The
tuned encoder (the default) meets it in one closed-loop pass: it starts at the coarsest scale the
bound allows, corrects only the coefficients that reach samples beyond the bound, entropy-codes
once and verifies by decoding once, and it can choose the method. The reference encoder searches
settings instead, coarse to fine by scale first (6 to 12), then by cutoff ("high", "medium",
"low"), each candidate checked by decoding. The rules live in the C++ chunk layer, shared with
the codecs and the HDF5 filter.
"""

from __future__ import annotations

import math
import numbers
from typing import Any, Optional

import numpy as np
import numpy.typing as npt
from kestova import KestovaCompressionOptions

from kestova_codecs import _binding
from kestova_codecs.dtypes import check_dtype, native
from kestova_codecs.tables import DEFAULT_ENCODER, ENCODERS


def check_max_error(max_error: object) -> float:
    """``max_error`` as a float; ``TypeError`` or ``ValueError`` unless a finite number >= 0."""
    if isinstance(max_error, bool) or not isinstance(max_error, numbers.Real):
        raise TypeError(f"max_error must be a number, not {type(max_error).__name__}")
    value = float(max_error)
    if not (math.isfinite(value) and value >= 0):
        raise ValueError(f"max_error must be a finite number >= 0, but it was {max_error!r}")
    return value


def check_encoder(encoder: object) -> str:
    """``encoder``; ``TypeError`` or ``ValueError`` unless one of ``tables.ENCODERS``."""
    if not isinstance(encoder, str):
        raise TypeError(f"encoder must be a str, not {type(encoder).__name__}")
    if encoder not in ENCODERS:
        expected = " or ".join(repr(name) for name in ENCODERS)
        raise ValueError(f"Unknown encoder {encoder!r}, expected {expected}")
    return encoder


def compress_within(samples: npt.ArrayLike, max_error: float, *, relative: bool = True,
                    method: Optional[str] = "cdf97", coder: Optional[str] = None,
                    encoder: str = DEFAULT_ENCODER) -> bytes:
    """Compress a 1-D array of samples into one Kestova container whose decoded values differ
    from ``samples`` by at most ``max_error`` (times the range max - min of ``samples`` when
    ``relative``).

    ``samples`` may be float32, float64 or an integer type the codecs store (int8, int16, int32,
    uint8, uint16); integer samples are judged as the codecs decode them, rounded and clipped,
    and float64 samples against their own values, not their float32 narrowing.
    ``encoder`` "tuned" (the default) meets the bound in one closed-loop pass and, with
    ``method=None``, chooses the method too; "reference" searches the reference encoder's
    settings for ``method``. Raises ``ValueError`` when no setting meets the bound (the message
    gives the error reached and why it is not enough: the finest setting's own error, the
    narrowing to float32, or the margin kept for other processor paths), and for NaN or
    infinite samples.
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
    named: dict[str, Any] = {} if method is None else {"method": method}
    KestovaCompressionOptions(**named, coder=coder)
    flat = native(values)
    return _binding.encode_chunk(flat, dtype.name, method, None, None, coder, encoder, bound,
                                 relative, False)
