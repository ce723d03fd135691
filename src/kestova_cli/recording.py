"""A recording as the command handles it: channels of samples with their source type and rate,
read block by block along time, so that no job holds more than a few blocks of any length."""

from __future__ import annotations

from dataclasses import dataclass, field, replace
from typing import Any, Callable, Iterator, Optional

import numpy as np

from .errors import UserError

# Sample types a recording may come in; 24-bit PCM travels as int32 with its own name.
INTEGER_RANGES = {"uint8": (0, 255), "int8": (-128, 127), "int16": (-32768, 32767),
                  "uint16": (0, 65535), "int24": (-(1 << 23), (1 << 23) - 1),
                  "int32": (-(1 << 31), (1 << 31) - 1)}
FLOAT_TYPES = ("float32", "float64")
SAMPLE_TYPES = tuple(INTEGER_RANGES) + FLOAT_TYPES
BLOCK_FRAMES = 1 << 20  # frames per block read, one store chunk along time

# (first frame, end frame) -> (channels, end - first) samples of numpy_type(sample_type)
FrameReader = Callable[[int, int], np.ndarray]


@dataclass
class Recording:
    channels: int
    length: int  # frames: samples per channel
    sample_type: str  # a value of SAMPLE_TYPES
    rate: Optional[int]  # samples per second, when the source says
    source_format: str  # the kind of file it came from: "wav", "npy", "raw", "flac", ...
    one_dimensional: bool  # a 1-D source: one signal, stored as one Kestova container
    read_frames: FrameReader
    # What the source records beyond the samples (channel names, units, channel map,
    # encoding), kept as store attributes and given back to a writer of the same format.
    attributes: dict[str, Any] = field(default_factory=dict)
    block_frames: int = BLOCK_FRAMES  # the source's natural block: a stored chunk's length
    shape: Optional[tuple[int, ...]] = None  # a stored array of more than 2 dimensions
    name: Optional[str] = None  # its array's name in a store, when a file holds several
    # (rows, first frame, end frame) -> those rows only, decoding no other row's chunks
    read_rows: Optional[Callable[[list[int], int, int], np.ndarray]] = None
    # the source's frame this recording starts at (a selection's first): a writer that keeps
    # the source's start time moves it on by as many samples
    first_frame: int = 0

    @property
    def samples(self) -> int:
        return self.channels * self.length

    def blocks(self, frames: Optional[int] = None) -> Iterator[tuple[int, np.ndarray]]:
        """(first frame, (channels, n) samples) for consecutive blocks of `frames` frames."""
        step = frames or self.block_frames
        for start in range(0, self.length, step):
            yield start, self.read_frames(start, min(start + step, self.length))

    def read_all(self) -> np.ndarray:
        return self.read_frames(0, self.length)

    def selected(self, rows: Optional[list[int]], start: int, end: int) -> "Recording":
        """The part of the recording: `rows` (all when None), frames [start, end)."""
        rows = list(range(self.channels)) if rows is None else rows
        whole = rows == list(range(self.channels))
        read, read_rows = self.read_frames, self.read_rows

        def read_part(first: int, last: int) -> np.ndarray:
            if whole:
                return read(start + first, start + last)
            if read_rows is not None:
                return read_rows(rows, start + first, start + last)
            return read(start + first, start + last)[rows]

        # per-channel attributes (names, units, trace ids) follow their channels
        attributes = {k: [v[r] for r in rows] if isinstance(v, list) and
                      len(v) == self.channels else v for k, v in self.attributes.items()}
        return replace(self, channels=len(rows), length=end - start, read_frames=read_part,
                       attributes=attributes, read_rows=None,
                       one_dimensional=self.one_dimensional,
                       first_frame=self.first_frame + start)

    def counted(self, tick: Callable[[int], None]) -> "Recording":
        """The same recording, calling `tick(samples)` after every block read."""
        read = self.read_frames

        def read_counted(start: int, end: int) -> np.ndarray:
            block = read(start, end)
            tick(block.size)
            return block

        return replace(self, read_frames=read_counted)


def numpy_type(sample_type: str) -> np.dtype:
    return np.dtype("int32" if sample_type == "int24" else sample_type)


def require_finite(name: str, samples: np.ndarray, first_frame: int = 0) -> None:
    """Kestova stores NaN as 0 and infinities as 1 or 0; refuse them rather than alter data.
    `samples` is a (channels, n) block starting at frame `first_frame`."""
    if samples.dtype.kind != "f":
        return
    bad = ~np.isfinite(samples)
    if bad.any():
        channel, index = (int(i[0]) for i in np.nonzero(bad))
        where = f"channel {channel}, sample {first_frame + index}" if samples.shape[0] > 1 \
            else f"sample {first_frame + index}"
        raise UserError(f"{name}: NaN or infinite samples (first at {where}); Kestova stores "
                        f"finite values only")


def from_reconstruction(values: np.ndarray, sample_type: str) -> np.ndarray:
    """Decoded values in the source's sample type: integers rounded to nearest and clipped."""
    if sample_type in FLOAT_TYPES:
        return values.astype(sample_type, copy=False)
    low, high = INTEGER_RANGES[sample_type]
    # float64 holds int32's bounds exactly (float32 would round its maximum up).
    rounded = np.rint(values.astype(np.float64) if sample_type == "int32" else values)
    restored: np.ndarray = np.clip(rounded, low, high, out=rounded).astype(numpy_type(sample_type))
    return restored


def in_memory(samples: np.ndarray, sample_type: str, rate: Optional[int], source_format: str,
              one_dimensional: bool, **kwargs: Any) -> Recording:
    """A recording of (channels, frames) samples already in memory."""
    return Recording(samples.shape[0], samples.shape[1], sample_type, rate, source_format,
                     one_dimensional, lambda start, end: samples[:, start:end], **kwargs)
