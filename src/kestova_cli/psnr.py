"""--psnr DB for a .kst output: the smallest stream over the scales and cutoffs whose peak
signal-to-noise ratio, 20 log10(range / RMS error) against the values compressed, reaches DB.
The error falls as the scale rises, so the coarsest scale that reaches DB with the fewest
details zeroed is found by bisection; zeroing more details at that scale is kept when it still
reaches DB with a smaller stream."""

from __future__ import annotations

import math
from typing import Any, Callable

import numpy as np

from kestova_codecs import chunk, tables

from .errors import UserError

_BLOCK = 1 << 20  # samples compared at once


def encode_for_psnr(name: str, signal: np.ndarray, settings: dict[str, Any], target: float,
                    encode: Callable[[str, np.ndarray, dict[str, Any]], bytes]) -> bytes:
    span = float(np.max(signal)) - float(np.min(signal))

    def reached(scale: int, cutoff: str) -> tuple[bool, bytes, float]:
        stream = encode(name, signal, {**settings, "scale": scale, "cutoff": cutoff})
        try:  # decoded where it lies (kestova.decompress_signal would copy the stream first)
            decoded = chunk.decode(stream, np.float32, signal.size)
        except ValueError as error:  # the decoder's refusal, out of memory among them
            raise UserError(f"{name}: {error}") from None
        db = _psnr(signal, decoded, span)
        return db >= target, stream, db

    low, high = tables.MIN_SCALE, tables.MAX_SCALE
    finest = reached(high, tables.CUTOFFS[0])
    if not finest[0]:
        raise UserError(f"{name}: --psnr {target:g} is out of reach: the finest setting (scale "
                        f"{high}, cutoff {tables.CUTOFFS[0]}) gives {finest[2]:.1f} dB")
    best = finest
    while low < high:  # the coarsest scale reaching the target, fewest details zeroed
        middle = (low + high) // 2
        trial = reached(middle, tables.CUTOFFS[0])
        if trial[0]:
            high, best = middle, trial
        else:
            low = middle + 1
    for cutoff in tables.CUTOFFS[1:]:
        trial = reached(high, cutoff)
        if trial[0] and len(trial[1]) < len(best[1]):
            best = trial
    return best[1]


def _psnr(signal: np.ndarray, decoded: np.ndarray, span: float) -> float:
    squares = 0.0
    for start in range(0, signal.size, _BLOCK):
        error = decoded[start:start + _BLOCK].astype(np.float64) - signal[start:start + _BLOCK]
        squares += float(np.dot(error, error))
    rms = math.sqrt(squares / signal.size)
    return math.inf if rms == 0 else 20 * math.log10((span or 1.0) / rms)
