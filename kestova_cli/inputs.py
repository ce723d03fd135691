"""Reading recordings: WAV, 1-D or 2-D .npy, and raw little-endian float32 (.f32, .raw)."""

from __future__ import annotations

from pathlib import Path

import numpy as np

from .errors import UserError
from .recording import SAMPLE_TYPES, Recording
from .wav import read_wav

RAW_SUFFIXES = (".f32", ".raw")
SUFFIXES = (".wav", ".npy") + RAW_SUFFIXES


def read_input(path: Path, rate: int | None) -> Recording:
    """The recording in `path`; `rate` is the user's sample rate for sources that have none."""
    suffix = path.suffix.lower()
    if suffix not in SUFFIXES:
        raise UserError(f"{path}: unknown input kind; expected one of {', '.join(SUFFIXES)}")
    if not path.is_file():
        raise UserError(f"{path}: no such file")
    if suffix == ".wav":
        if rate is not None:
            raise UserError(f"{path}: a WAV file records its own sample rate; drop --rate")
        wav = read_wav(path)
        recording = Recording(wav.samples, wav.sample_type, wav.rate, "wav",
                              one_dimensional=wav.samples.shape[0] == 1)
    elif suffix == ".npy":
        recording = _read_npy(path, rate)
    else:
        recording = _read_raw(path, rate)
    if recording.samples.size == 0:
        raise UserError(f"{path}: no samples")
    return recording


def _read_npy(path: Path, rate: int | None) -> Recording:
    try:
        data = np.load(path, allow_pickle=False)
    except ValueError as error:  # not an .npy file, or one holding Python objects
        raise UserError(f"{path}: not a readable .npy array ({error})") from None
    if not isinstance(data, np.ndarray):
        raise UserError(f"{path}: not a single .npy array")
    if data.dtype.name not in SAMPLE_TYPES:
        raise UserError(f"{path}: unsupported sample type {data.dtype}; supported: "
                        f"float32, float64, int8, int16, int32, uint8, uint16")
    if data.ndim not in (1, 2):
        raise UserError(f"{path}: expected a 1-D or 2-D array, got shape {data.shape}")
    if data.ndim == 2 and data.shape[0] > data.shape[1]:
        raise UserError(f"{path}: {data.shape[0]} channels of {data.shape[1]} samples each; rows "
                        f"are channels: save the array transposed (np.save(path, a.T))")
    samples = np.ascontiguousarray(np.atleast_2d(data), dtype=data.dtype.newbyteorder("="))
    return Recording(samples, data.dtype.name, rate, "npy", one_dimensional=data.ndim == 1)


def _read_raw(path: Path, rate: int | None) -> Recording:
    size = path.stat().st_size
    if size % 4:
        raise UserError(f"{path}: {size} bytes is not a whole number of float32 samples")
    samples = np.fromfile(path, dtype="<f4").astype(np.float32)
    return Recording(samples.reshape(1, -1), "float32", rate, "raw", one_dimensional=True)
