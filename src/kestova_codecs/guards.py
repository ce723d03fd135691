"""Checks the codecs make before they work: a container must not announce more samples than its
chunk holds (checked from the header, before anything is decoded), and a signal's range must be
one the codec can scale by."""

from __future__ import annotations

import numpy as np

from kestova_codecs.tables import SMALLEST_RANGE, read_header


def check_announced_samples(data, chunk_values: int) -> None:
    """``ValueError`` unless the container in the buffer ``data`` announces at most
    ``chunk_values`` samples. Reads the header only, so a forged sample count costs nothing."""
    announced = read_header(data)["samples"]
    if announced > chunk_values:
        raise ValueError(f"the container announces {announced} samples, but the chunk has "
                         f"{chunk_values} values; refusing to decode it")


def check_scalable_range(values: np.ndarray) -> None:
    """``ValueError`` when the finite ``values`` span a range that is nonzero but below the
    smallest normal float32: Kestova would store them as a constant."""
    if values.size == 0 or values.dtype.kind != "f":
        return
    low, high = np.float32(values.min()), np.float32(values.max())
    with np.errstate(over="ignore"):
        width = high - low  # in float32, as the codec computes it
    if 0 < width < SMALLEST_RANGE:
        raise ValueError(f"the values span {float(width):.3g} (from {float(low):.9g} to "
                         f"{float(high):.9g}), a nonzero range below the smallest normal "
                         f"float32 ({SMALLEST_RANGE:.6g}); Kestova would store them as a "
                         f"constant. Scale them up first")
