"""A recording as the command handles it: channels of samples with their source type and rate."""

from __future__ import annotations

from dataclasses import dataclass

import numpy as np

from .errors import UserError

# Sample types a recording may come in; 24-bit PCM travels as int32 with its own name.
INTEGER_RANGES = {"uint8": (0, 255), "int8": (-128, 127), "int16": (-32768, 32767),
                  "uint16": (0, 65535), "int24": (-(1 << 23), (1 << 23) - 1),
                  "int32": (-(1 << 31), (1 << 31) - 1)}
FLOAT_TYPES = ("float32", "float64")
SAMPLE_TYPES = tuple(INTEGER_RANGES) + FLOAT_TYPES


@dataclass
class Recording:
    samples: np.ndarray  # (channels, samples), of numpy_type(sample_type)
    sample_type: str  # a value of SAMPLE_TYPES
    rate: int | None  # samples per second, when the source says
    source_format: str  # "wav", "npy" or "raw"
    one_dimensional: bool  # a 1-D source: one signal, stored as one Kestova container

    @property
    def channels(self) -> int:
        return self.samples.shape[0]

    @property
    def length(self) -> int:
        return self.samples.shape[1]


def numpy_type(sample_type: str) -> np.dtype:
    return np.dtype("int32" if sample_type == "int24" else sample_type)


def require_finite(name: str, samples: np.ndarray) -> None:
    """Kestova stores NaN as 0 and infinities as 1 or 0; refuse them rather than alter data."""
    if samples.dtype.kind != "f":
        return
    bad = ~np.isfinite(samples)
    count = int(np.count_nonzero(bad))
    if count:
        channel, index = (int(i[0]) for i in np.nonzero(bad))
        where = f"channel {channel}, sample {index}" if samples.shape[0] > 1 else f"sample {index}"
        raise UserError(f"{name}: {count} of {samples.size} samples are NaN or infinite (first at "
                        f"{where}); Kestova stores finite values only")


def from_reconstruction(values: np.ndarray, sample_type: str) -> np.ndarray:
    """Decoded values in the source's sample type: integers rounded to nearest and clipped."""
    if sample_type in FLOAT_TYPES:
        return values.astype(sample_type, copy=False)
    low, high = INTEGER_RANGES[sample_type]
    return np.clip(np.rint(values), low, high).astype(numpy_type(sample_type))
