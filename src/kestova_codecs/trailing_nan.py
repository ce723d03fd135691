"""A chunk's trailing run of NaN, stored by leaving it out of the container.

zarr pads a chunk at the array's far edge with the array's fill value, and xarray gives float
arrays NaN as fill value. Kestova cannot store NaN, but a NaN run at the end of the flattened
chunk needs no storing: the container holds the samples before it, and a container shorter than
its chunk is read back with NaN after its samples. NaN anywhere else is still refused.
"""

from __future__ import annotations

import numpy as np


def stored_length(flat: np.ndarray) -> int:
    """How many leading values of the 1-D chunk ``flat`` to store: all of them, unless it is a
    float chunk that ends in NaN after at least one other value."""
    if flat.dtype.kind != "f" or flat.size == 0 or not np.isnan(flat[-1]):
        return flat.size
    not_nan = np.flatnonzero(~np.isnan(flat))
    # An all-NaN chunk is stored whole, so the codec refuses it with the usual message.
    return int(not_nan[-1]) + 1 if not_nan.size else flat.size


def restore_tail(samples: np.ndarray, size: int) -> np.ndarray:
    """The decoded ``samples`` of a chunk of ``size`` values, NaN after the stored ones."""
    if samples.size == size:
        return samples
    if samples.dtype.kind != "f" or samples.size > size:
        raise ValueError(f"the container holds {samples.size} samples, but the chunk "
                         f"has {size} values")
    chunk = np.empty(size, samples.dtype)
    chunk[: samples.size] = samples
    chunk[samples.size :] = np.nan
    return chunk
