"""The element types a chunk may have, and the conversions to and from Kestova's float32."""

import numpy as np

# Kestova works in float32; these types go in as float32 and come back by conversion.
_FLOATS = ("f4", "f8")
_INTEGERS = ("i1", "i2", "i4", "u1", "u2")
SUPPORTED = ", ".join(np.dtype(code).name for code in _FLOATS + _INTEGERS)


def check_dtype(dtype) -> np.dtype:
    """``dtype`` as a NumPy dtype; ``ValueError`` unless Kestova can store it."""
    resolved = np.dtype(dtype)
    if f"{resolved.kind}{resolved.itemsize}" not in _FLOATS + _INTEGERS:
        raise ValueError(f"Kestova cannot store dtype {resolved}; supported: {SUPPORTED}")
    return resolved


def to_float32(values: np.ndarray) -> np.ndarray:
    """The values, flattened in C order, as an aligned contiguous native float32 array
    (the array itself when it already is one). Arrays unpickled from a network frame, as Dask
    workers receive them, can be misaligned."""
    check_dtype(values.dtype)
    return np.require(values, np.float32, ["C_CONTIGUOUS", "ALIGNED"]).reshape(-1)


def restore(samples: np.ndarray, dtype: np.dtype) -> np.ndarray:
    """Decoded float32 samples as ``dtype``: integers are rounded to nearest (ties to even) and
    clipped to the type's range."""
    if dtype.kind == "f":
        return samples if samples.dtype == dtype else samples.astype(dtype)
    info = np.iinfo(dtype)
    # float64 holds every integer bound exactly (float32 would round int32's maximum up).
    rounded = np.rint(samples.astype(np.float64))
    return np.clip(rounded, info.min, info.max, out=rounded).astype(dtype)
