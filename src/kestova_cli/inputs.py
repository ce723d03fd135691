"""Reading recordings: WAV, 1-D or 2-D .npy, and raw little-endian float32 (.f32, .raw).
READERS maps an input's suffix to its reader; a new input kind is one entry there."""

from __future__ import annotations

from pathlib import Path
from typing import Callable, Optional

import numpy as np

from kestova_codecs.dtypes import SUPPORTED

from .errors import UserError
from .files import require_file
from .npy import load_npy
from .recording import SAMPLE_TYPES, Recording
from .wav import read_wav


def _read_wav(path: Path, rate: Optional[int]) -> Recording:
    if rate is not None:
        raise UserError(f"{path}: a WAV file records its own sample rate; drop --rate")
    wav = read_wav(path)
    return Recording(wav.samples, wav.sample_type, wav.rate, "wav",
                     one_dimensional=wav.samples.shape[0] == 1)


def _read_npy(path: Path, rate: Optional[int]) -> Recording:
    data = load_npy(path)
    if data.dtype.name not in SAMPLE_TYPES:
        raise UserError(f"{path}: unsupported sample type {data.dtype}; supported: {SUPPORTED}")
    if data.ndim not in (1, 2):
        raise UserError(f"{path}: expected a 1-D or 2-D array, got shape {data.shape}")
    if data.ndim == 2 and data.shape[0] > data.shape[1]:
        raise UserError(f"{path}: {data.shape[0]} channels of {data.shape[1]} samples each; rows "
                        f"are channels: save the array transposed (np.save(path, a.T))")
    samples = np.ascontiguousarray(np.atleast_2d(data), dtype=data.dtype.newbyteorder("="))
    return Recording(samples, data.dtype.name, rate, "npy", one_dimensional=data.ndim == 1)


def _read_raw(path: Path, rate: Optional[int]) -> Recording:
    size = path.stat().st_size
    if size % 4:
        raise UserError(f"{path}: {size} bytes is not a whole number of float32 samples")
    samples = np.fromfile(path, dtype="<f4").astype(np.float32)
    return Recording(samples.reshape(1, -1), "float32", rate, "raw", one_dimensional=True)


# Input suffix -> reader(path, the user's --rate for sources that record none).
READERS: dict[str, Callable[[Path, Optional[int]], Recording]] = {
    ".wav": _read_wav, ".npy": _read_npy, ".f32": _read_raw, ".raw": _read_raw}


def read_input(path: Path, rate: Optional[int]) -> Recording:
    """The recording in `path`; `rate` is the user's sample rate for sources that have none."""
    reader = READERS.get(path.suffix.lower())
    if reader is None:
        raise UserError(f"{path}: unknown input kind; expected one of {', '.join(READERS)}")
    require_file(path)
    recording = reader(path, rate)
    if recording.samples.size == 0:
        raise UserError(f"{path}: no samples")
    return recording
