"""Each tool of the rate-distortion benchmark at a target: a maximum error or a PSNR."""

from __future__ import annotations

import inspect
from dataclasses import dataclass
from typing import Callable

import numpy as np

from . import matching, tools
from .matching import Quality

MAX_ERRORS = (1e-2, 3e-3, 1e-3, 5e-4)  # relative to the range
PSNRS = (50.0, 60.0, 70.0, 80.0)  # dB
SCALES = tuple(range(6, 13))
CUTOFFS = ("low", "medium", "high")
REFERENCE, TUNED = "kestova reference", "kestova tuned"
TOOL_ORDER = (REFERENCE, TUNED, "sz3", "zfpy accuracy", "quantize+zlib")
QUANTIZE_DIGITS = (-12, 16)  # numcodecs Quantize keeps absolute decimal digits: any range fits


@dataclass(frozen=True)
class Target:
    kind: str  # "max" (relative max error) or "psnr" (dB)
    value: float

    @property
    def label(self) -> str:
        return f"max err {self.value:g}" if self.kind == "max" else f"PSNR {self.value:g} dB"

    def met_by(self, q: Quality) -> bool:
        return q.max_err <= self.value if self.kind == "max" else q.psnr >= self.value


def targets() -> list[Target]:
    return [Target("max", e) for e in MAX_ERRORS] + [Target("psnr", p) for p in PSNRS]


# The encoder names compress_within accepts, () when it has no `encoder` argument (before the
# tuned encoder existed).
def encoders(error_bound) -> tuple[str, ...]:
    parameters = inspect.signature(error_bound.compress_within).parameters
    return ("reference", "tuned") if "encoder" in parameters else ()


# Kestova through the installed packages: fixed-setting and bounded compression with either
# encoder, and decoding.
class Kestova:
    def __init__(self, kestova, kestova_codecs, error_bound):
        self.kestova, self.codecs, self.error_bound = kestova, kestova_codecs, error_bound
        self.encoders = encoders(error_bound)

    def fixed(self, x: np.ndarray, encoder: str, scale: int = 11, cutoff: str = "low") -> bytes:
        if encoder == "reference":
            options = self.kestova.KestovaCompressionOptions(scale=scale, cutoff=cutoff)
            return self.kestova.compress_signal(x, options)
        return bytes(self.codecs.Kestova(scale=scale, cutoff=cutoff, encoder=encoder).encode(x))

    # The container within `max_error` of the range, None when the encoder cannot meet it.
    # The reference search runs as it always did (one method); the tuned encoder chooses the
    # method unless `method` names one.
    def within(self, x: np.ndarray, max_error: float, encoder: str,
               method: str | None = None) -> bytes | None:
        kwargs = {}
        if self.encoders:
            kwargs["encoder"] = encoder
            kwargs["method"] = "cdf97" if encoder == "reference" else method
        try:
            return self.error_bound.compress_within(x, max_error, **kwargs)
        except ValueError:
            return None

    def quality(self, x: np.ndarray, data: bytes) -> Quality:
        return matching.quality(x, self.kestova.decompress_signal(data), len(data))


# Every fixed setting (scale, cutoff) of one encoder on `x`, with the quality each reaches.
def kestova_sweep(k: Kestova, x: np.ndarray, encoder: str) -> dict[tuple, Quality]:
    return {(s, c): k.quality(x, k.fixed(x, encoder, s, c)) for s in SCALES for c in CUTOFFS}


# The smallest stream of a sweep that meets `target`, None when no setting does.
def best_of_sweep(sweep: dict[tuple, Quality], target: Target) -> Quality | None:
    met = [q for q in sweep.values() if target.met_by(q)]
    return max(met, key=lambda q: q.ratio) if met else None


# A peer's coarsest setting that meets `target` on `x`, None when none does.
def peer_at(name: str, module, x: np.ndarray, target: Target) -> Quality | None:
    rng = matching.value_range(x)
    meets = target.met_by
    absolute = target.value * rng if target.kind == "max" else 10 ** (-target.value / 20) * rng
    try:
        if name == "sz3" and target.kind == "max":
            q = matching.round_trip(tools.sz3_tool(module, absolute), x)
            return q if meets(q) else None
        if name in ("sz3", "zfpy accuracy"):
            make: Callable = (lambda b: tools.sz3_tool(module, b)) if name == "sz3" else (
                lambda t: tools.zfpy_accuracy_tool(module, t))
            tool = matching.match_continuous(make, x, absolute, absolute, meets=meets)
        else:
            tool = matching.match_integer(lambda d: tools.numcodecs_quantize_tool(module, d), x,
                                          absolute, *QUANTIZE_DIGITS, meets=meets)
    except RuntimeError:  # no setting reaches the target
        return None
    q = matching.round_trip(tool, x)
    return q if meets(q) else None
