"""The element types a chunk may have, named by the C++ chunk layer (the conversions to and from
Kestova's float32 samples are its own: integers decode rounded to nearest and clipped)."""

from __future__ import annotations

from typing import Any

import numpy as np
import numpy.typing as npt

from kestova_codecs.tables import ELEMENT_TYPES

SUPPORTED = ", ".join(ELEMENT_TYPES)


def check_dtype(dtype: npt.DTypeLike) -> np.dtype[Any]:
    """``dtype`` as a NumPy dtype; ``ValueError`` unless Kestova can store it."""
    resolved = np.dtype(dtype)
    if resolved.kind not in "fiu" or resolved.name not in ELEMENT_TYPES:
        raise ValueError(f"Kestova cannot store dtype {resolved}; supported: {SUPPORTED}")
    return resolved


def native(values: npt.NDArray[Any]) -> npt.NDArray[Any]:
    """The values, flattened in C order, as a contiguous array of their type in native byte
    order (the array itself when it already is one)."""
    check_dtype(values.dtype)
    return np.ascontiguousarray(values, values.dtype.newbyteorder("=")).reshape(-1)
