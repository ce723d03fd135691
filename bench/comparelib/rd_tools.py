"""Each tool of the rate-distortion benchmark at a target: a maximum error or a PSNR."""

from __future__ import annotations

import inspect
import math
from dataclasses import dataclass
from typing import Callable

import numpy as np

from . import matching, tools
from .matching import Quality

MAX_ERRORS = (1e-2, 3e-3, 1e-3, 5e-4, 1e-4, 1e-5)  # relative to the range
PSNRS = (50.0, 60.0, 70.0, 80.0, 90.0)  # dB
SCALES = tuple(range(6, 13))
CUTOFFS = ("low", "medium", "high")
REFERENCE, TUNED, V2 = "kestova reference", "kestova tuned", "kestova v2"
# Exact coders of whole-number recordings: they meet every target there, and none elsewhere.
LOSSLESS = ("pcodec lossless", "flac lossless")
TOOL_ORDER = (REFERENCE, TUNED, V2, "sz3", "zfpy accuracy", "quantize+zlib", "lilcom", *LOSSLESS)
LILCOM_TICKS = (-20, 2)  # the tick powers lilcom takes, for samples scaled to a range near 1
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
        self.v2 = hasattr(kestova_codecs, "encode_signal")  # version-2 streams in this build

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


# Version 2 at `target` in one pass (max_error or psnr), None when it refuses it.
def v2_at(codecs, x: np.ndarray, target: Target) -> Quality | None:
    asked = {"max_error": target.value} if target.kind == "max" else {"psnr": target.value}
    try:
        q = matching.round_trip(tools.kestova_v2_tool(codecs, **asked), x)
    except ValueError:
        return None
    return q if target.met_by(q) else None


# Whether `x` holds whole numbers that an integer coder of `bits` bits stores exactly.
def whole_within(x: np.ndarray, bits: int) -> bool:
    limit = 2.0 ** (bits - 1)
    return bool(np.array_equal(x, np.rint(x)) and x.min() >= -limit and x.max() < limit)


# A lossless peer on a whole-number recording (any target is met), None on others.
def lossless_at(name: str, module, x: np.ndarray) -> Quality | None:
    if name == "pcodec lossless" and whole_within(x, 32):
        return matching.round_trip(tools.pcodec_tool(module), x)
    for bits in (16, 24):
        if name == "flac lossless" and whole_within(x, bits):
            return matching.round_trip(tools.flac_tool(module, bits), x)
    return None


# lilcom's coarsest tick power (2^k, k whole) that meets `target`, None when none does.
def lilcom_at(module, x: np.ndarray, target: Target) -> Quality | None:
    octave = math.ceil(math.log2(matching.value_range(x)))
    meets = target.met_by
    finest, coarsest = LILCOM_TICKS
    try:
        tool = matching.match_integer(lambda k: tools.lilcom_tool(module, -k, octave), x, 0.0,
                                      -coarsest, -finest, meets=meets)
        q = matching.round_trip(tool, x)
    except (ValueError, RuntimeError):  # a tick lilcom refuses
        return None
    return q if meets(q) else None


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
