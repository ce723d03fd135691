"""Error figures of a reconstruction, and the search that sets a peer's knob to a target error."""

from __future__ import annotations

import math
from dataclasses import dataclass
from typing import Callable

import numpy as np

from .tools import Tool, payload_size


@dataclass
class Quality:
    ratio: float  # original float32 bytes / compressed bytes
    max_err: float  # maximum absolute error / value range
    rms_err: float  # root-mean-square error / value range
    psnr: float  # 20 log10(range / RMS error), dB; infinite when lossless
    range: float  # value range of the original signal

    @property
    def abs_max_err(self) -> float:
        return self.max_err * self.range


# Value range of a signal (1.0 for a flat one, so that relative errors stay defined).
def value_range(x: np.ndarray) -> float:
    r = float(x.max()) - float(x.min())
    return r if r > 0 else 1.0


# Ratio and error figures of `decoded` against `original` for a payload of `size` bytes.
def quality(original: np.ndarray, decoded: np.ndarray, size: int) -> Quality:
    if decoded.shape != original.shape:
        raise ValueError(f"decoded {decoded.shape} samples, expected {original.shape}")
    rng = value_range(original)
    diff = decoded.astype(np.float64) - original.astype(np.float64)
    max_err = float(np.abs(diff).max())
    rms = math.sqrt(float(np.mean(diff * diff)))
    psnr = 20 * math.log10(rng / rms) if rms > 0 else math.inf
    return Quality(original.nbytes / size, max_err / rng, rms / rng, psnr, rng)


# True when `q` keeps its maximum error within `target` (absolute), or meets `meets` when given.
def within(q: Quality, target: float, meets: Callable[[Quality], bool] | None) -> bool:
    return meets(q) if meets is not None else q.abs_max_err <= target


# One round trip of `tool` over `x`, returning its quality.
def round_trip(tool: Tool, x: np.ndarray) -> Quality:
    payload = tool.compress(x)
    return quality(x, tool.decompress(payload), payload_size(payload))


# The tool with the largest knob (a tolerance or step; larger means coarser) whose maximum error
# stays within `target` (absolute), or whose quality `meets` asks for when given, searched
# geometrically from `start`.
def match_continuous(make: Callable[[float], Tool], x: np.ndarray, target: float, start: float,
                     steps: int = 8, meets: Callable[[Quality], bool] | None = None) -> Tool:
    def fits(knob: float) -> bool:
        return within(round_trip(make(knob), x), target, meets)

    if fits(start):
        good = knob = start
        for _ in range(10):
            knob *= 4
            if not fits(knob):
                bad = knob
                break
            good = knob
        else:
            return make(good)  # the error never reaches the target: the knob does not limit it
    else:
        bad = knob = start
        for _ in range(30):
            knob /= 4
            if fits(knob):
                good = knob
                break
            bad = knob
        else:
            raise RuntimeError("no setting reaches the target error")
    for _ in range(steps):
        mid = math.sqrt(good * bad)
        if fits(mid):
            good = mid
        else:
            bad = mid
    return make(good)


# The tool with the smallest integer knob in [lo, hi] (a rate or digit count; larger means finer)
# whose maximum error stays within `target` (or whose quality `meets` asks for); `hi` when none
# does.
def match_integer(make: Callable[[int], Tool], x: np.ndarray, target: float, lo: int, hi: int,
                  meets: Callable[[Quality], bool] | None = None) -> Tool:
    while lo < hi:
        mid = (lo + hi) // 2
        if within(round_trip(make(mid), x), target, meets):
            hi = mid
        else:
            lo = mid + 1
    return make(lo)
