"""One comparison on one signal: the table rows, their speeds and qualities, and the curves."""

import sys
from dataclasses import dataclass, field

import numpy as np

from . import tools as T
from .matching import Quality, match_continuous, match_integer, round_trip, value_range
from .timing import Speed, measure

# Kestova scales of the rate-distortion curves; each peer is matched to every point.
CURVE_SCALES = (6, 7, 8, 9, 10, 11, 12)
# Relative maximum errors that stand in for Kestova's when the module is absent.
FALLBACK_REL_ERRORS = tuple(2.0 ** -(s - 1) for s in CURVE_SCALES)
FALLBACK_DEFAULT_REL_ERROR = 2.0 ** -10


@dataclass
class Row:
    tool: T.Tool
    speed: Speed
    quality: Quality


@dataclass
class SignalResult:
    signal: str
    n: int
    range: float
    target: float  # absolute maximum error the peers were matched to
    target_source: str
    rows: list[Row]
    curves: dict[str, list[tuple[float, float]]] = field(default_factory=dict)  # family -> (psnr, ratio)


def _note(text: str) -> None:
    print(text, file=sys.stderr, flush=True)


# Each lossy peer set to its coarsest setting whose maximum error stays within `target`, plus
# the lossless baseline when `lossless`. A peer that fails is reported and left out.
def matched_peers(mods: dict, x: np.ndarray, target: float, lossless: bool = True) -> list[T.Tool]:
    rel = target / value_range(x)
    searches = []
    if "pywt" in mods:
        searches.append(("pywt+zlib", lambda: match_continuous(
            lambda s: T.pywt_zlib_tool(mods["pywt"], s), x, target, start=rel)))
    if "zfpy" in mods:
        searches.append(("zfpy accuracy", lambda: match_continuous(
            lambda t: T.zfpy_accuracy_tool(mods["zfpy"], t), x, target, start=target)))
        searches.append(("zfpy rate", lambda: match_integer(
            lambda r: T.zfpy_rate_tool(mods["zfpy"], r), x, target, 1, 32)))
    if "pysz" in mods:
        searches.append(("sz3 abs", lambda: match_continuous(
            lambda b: T.sz3_tool(mods["pysz"], b), x, target, start=target)))
    if "numcodecs" in mods:
        searches.append(("numcodecs quantize+zlib", lambda: match_integer(
            lambda d: T.numcodecs_quantize_tool(mods["numcodecs"], d), x, target, 0, 12)))
        if lossless:
            searches.append(("numcodecs zlib", lambda: T.numcodecs_zlib_tool(mods["numcodecs"])))
    found = []
    for name, search in searches:
        try:
            found.append(search())
        except Exception as e:
            _note(f"  skipped {name}: {type(e).__name__}: {e}")
    return found


# (tool, quality) of every tool whose round trip succeeds; the others are reported and left out.
def working(tools: list[T.Tool], x: np.ndarray) -> list[tuple[T.Tool, Quality]]:
    found = []
    for tool in tools:
        try:
            found.append((tool, round_trip(tool, x)))
        except Exception as e:
            _note(f"  skipped {tool.label}: {type(e).__name__}: {e}")
    return found


# Rate-distortion points (PSNR, ratio) per family: Kestova (cdf97, default coder) at each curve
# scale, every lossy peer matched to Kestova's maximum error at that point.
def curves(mods: dict, x: np.ndarray) -> dict[str, list[tuple[float, float]]]:
    points: dict[str, list[tuple[float, float]]] = {}
    rng = value_range(x)
    targets = [r * rng for r in FALLBACK_REL_ERRORS]
    if "kestova" in mods:
        targets = []
        for scale in CURVE_SCALES:
            q = round_trip(T.kestova_tool(mods["kestova"], scale=scale), x)
            points.setdefault("kestova", []).append((q.psnr, q.ratio))
            targets.append(q.abs_max_err)
    for target in targets:
        for tool in matched_peers(mods, x, target, lossless=False):
            q = round_trip(tool, x)
            points.setdefault(tool.family, []).append((q.psnr, q.ratio))
    return points


# The full comparison on one signal: Kestova's settings and the matched peers, timed over
# `rounds` interleaved rounds, with the rate-distortion curves when `with_curves`.
def run_signal(name: str, x: np.ndarray, mods: dict, rounds: int, with_curves: bool) -> SignalResult:
    rng = value_range(x)
    checked: list[tuple[T.Tool, Quality]] = []
    if "kestova" in mods:
        checked = working([T.kestova_tool(mods["kestova"], **s) for s in T.kestova_settings()], x)
    if checked and checked[0][0].default:
        target = checked[0][1].abs_max_err
        source = "Kestova's at default settings"
    else:
        target = FALLBACK_DEFAULT_REL_ERROR * rng
        source = f"{FALLBACK_DEFAULT_REL_ERROR:.3g} of the range, Kestova's default not measured"
    _note(f"{name} {x.size}: matching peers to max error {target:.4g}")
    checked += working(matched_peers(mods, x, target), x)
    _note(f"{name} {x.size}: timing {len(checked)} tools x {rounds} rounds")
    speeds = measure([t for t, _ in checked], x, rounds)
    rows = [Row(t, s, q) for (t, q), s in zip(checked, speeds)]
    result = SignalResult(name, x.size, rng, target, source, rows)
    if with_curves:
        _note(f"{name} {x.size}: rate-distortion curves")
        result.curves = curves(mods, x)
    return result
