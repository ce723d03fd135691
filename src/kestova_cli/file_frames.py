"""Reading frames of samples laid out in a file at a known offset, one block at a time, with
plain reads (never a memory map, whose pages would count against the process's memory)."""

from __future__ import annotations

from pathlib import Path

import numpy as np

from .errors import UserError
from .recording import FrameReader


def interleaved(path: Path, offset: int, wire: np.dtype, channels: int,
                native: np.dtype) -> FrameReader:
    """Frames one after the other, each the samples of every channel (WAV, raw, Fortran-order
    .npy): frames [start, end) are one contiguous read."""
    def read(start: int, end: int) -> np.ndarray:
        count = (end - start) * channels
        values = _read(path, offset + start * channels * wire.itemsize, wire, count)
        frames = values.reshape(-1, channels, *wire.shape)  # (n, channels, sample's bytes)
        return np.ascontiguousarray(frames.swapaxes(0, 1), dtype=native)
    return read


def planar(path: Path, offset: int, wire: np.dtype, channels: int, length: int,
           native: np.dtype) -> FrameReader:
    """Channel after channel, each its whole length (C-order .npy): one read per channel."""
    def read(start: int, end: int) -> np.ndarray:
        block = np.empty((channels, end - start), native)
        for channel in range(channels):
            block[channel] = _read(path, offset + (channel * length + start) * wire.itemsize,
                                   wire, end - start)
        return block
    return read


def _read(path: Path, position: int, wire: np.dtype, count: int) -> np.ndarray:
    with open(path, "rb") as file:
        file.seek(position)
        values = np.fromfile(file, wire, count)
    if len(values) != count:
        raise UserError(f"{path}: truncated: the file ends {count - len(values)} samples short")
    return values
