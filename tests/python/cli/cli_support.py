"""Runs the installed `kestova` command and writes test recordings with standard tools."""

from __future__ import annotations

import struct
import subprocess
import sys
import wave
from pathlib import Path

import numpy as np
import pytest

KESTOVA = Path(sys.executable).parent / "kestova"
FORMAT_FLOAT, FORMAT_EXTENSIBLE = 3, 0xFFFE


def _address_space_limit(size: int):
    def limit() -> None:
        import resource

        resource.setrlimit(resource.RLIMIT_AS, (size, resource.RLIM_INFINITY))
    return limit


def run(*args, cwd: Path, env: dict | None = None,
        limit_memory: bool | int = False) -> subprocess.CompletedProcess:
    """The command's outcome; `limit_memory` caps its address space (True: at 4 GiB), as a
    machine with little memory would."""
    size = (4 << 30) if limit_memory is True else limit_memory
    return subprocess.run([str(KESTOVA), *map(str, args)], cwd=cwd, capture_output=True,
                          text=True, env=env, timeout=300,
                          preexec_fn=_address_space_limit(size) if size else None)


def assert_refused(result: subprocess.CompletedProcess) -> None:
    """Exit status 2 and one line on standard error, never a traceback."""
    assert result.returncode == 2, result.stderr
    assert "Traceback" not in result.stderr
    assert len(result.stderr.strip().splitlines()) == 1, result.stderr


def pcm_values(width: int, channels: int, frames: int, seed: int = 3) -> np.ndarray:
    """A smooth signal with noise at 80 % of the full scale of `width`-byte PCM: (channels, frames)."""
    rng = np.random.default_rng(seed)
    t = np.arange(frames) / 8000.0
    x = np.stack([np.sin(2 * np.pi * (220 + 110 * c) * t) * 0.7 + 0.1 * rng.standard_normal(frames)
                  for c in range(channels)])
    top = float(1 << (8 * width - 1))
    values = np.clip(np.round(np.clip(x, -1, 1) * 0.8 * top), -top, top - 1).astype(np.int64)
    return values + (128 if width == 1 else 0)


def write_pcm_wav(path: Path, values: np.ndarray, width: int, rate: int = 8000) -> None:
    """Integer PCM through Python's own wave module."""
    wire = values.T.astype("<i8").reshape(-1, 1).view(np.uint8).reshape(-1, 8)[:, :width]
    with wave.open(str(path), "wb") as w:
        w.setnchannels(values.shape[0])
        w.setsampwidth(width)
        w.setframerate(rate)
        w.writeframes(np.ascontiguousarray(wire).tobytes())


def write_float_wav(path: Path, values: np.ndarray, rate: int = 8000,
                    extensible: bool = False) -> None:
    channels = values.shape[0]
    data = values.T.astype("<f4").tobytes()
    head = struct.pack("<HHIIHH", FORMAT_EXTENSIBLE if extensible else FORMAT_FLOAT, channels,
                       rate, rate * 4 * channels, 4 * channels, 32)
    if extensible:
        guid = struct.pack("<H", FORMAT_FLOAT) + bytes.fromhex("000000001000800000aa00389b71")
        head += struct.pack("<HHI", 22, 32, 0) + guid
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(head)) + head
    body += b"data" + struct.pack("<I", len(data)) + data
    path.write_bytes(b"RIFF" + struct.pack("<I", len(body)) + body)


def max_relative_error(original: np.ndarray, decoded: np.ndarray) -> float:
    x = original.astype(np.float64)
    span = float(x.max() - x.min()) or 1.0
    return float(np.max(np.abs(decoded.astype(np.float64) - x))) / span


def require_store_support() -> None:
    """Skips unless the zarr store path's dependencies are installed."""
    pytest.importorskip("zarr")
    pytest.importorskip("kestova_codecs")
