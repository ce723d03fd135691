#!/usr/bin/env python3
"""Version-2 streams against SZ3, the tuned version-1 encoder and lossless pcodec: bytes at equal
maximum error on real recordings, integer recordings exactly, and CPU time at 1M samples.

    pip install -r bench/requirements.txt pcodec   # plus the kestova wheel (see README)
    python bench/v2_compare.py [--rounds 5] [--psnr]

Every v2 output is decoded and its error checked against the bound (errors in float64 against
the float32 input, bounds relative to each recording's range). Figures are geometric means over
the recordings of the other tool's bytes over v2's bytes (above 1: v2 stores less). A missing
peer is skipped. CPU time: the longest recording resized to 1M samples (bytes of tiled signals
are not comparable: SZ3's zstd stage finds the repetition), least of `rounds` interleaved runs.
With --psnr, also bytes at equal PSNR: v2 with its `psnr` target, SZ3 with the coarsest absolute
bound (bisected) whose output reaches the same PSNR, 20 log10(range / rms error).
"""

from __future__ import annotations

import argparse
import math
import sys
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parent))

from comparelib import timing  # noqa: E402
from comparelib.tools import pcodec_tool, payload_size, sz3_tool  # noqa: E402
from recordings import recordings  # noqa: E402

from kestova_codecs import decode_signal, encode_signal  # noqa: E402
from kestova_codecs.error_bound import compress_within  # noqa: E402

BOUNDS = (1e-2, 3e-3, 1e-3, 5e-4, 1e-4, 1e-5, 1e-6)
PSNRS = (50, 60, 70, 80, 90)
BISECTION_STEPS = 30
SPEED_BOUNDS = (1e-2, 1e-3, 1e-4)
SPEED_SAMPLES = 1_000_000


def optional(name):
    try:
        return __import__(name)
    except ImportError:
        return None


def geomean(values):
    values = [v for v in values if v == v]
    return math.exp(sum(map(math.log, values)) / len(values)) if values else float("nan")


def v2_bytes(x: np.ndarray, bound: float) -> int:
    stream = encode_signal(x, max_error=bound)
    y = decode_signal(stream)
    error = float(np.max(np.abs(y.astype(np.float64) - x.astype(np.float64))))
    limit = bound * float(np.ptp(x.astype(np.float64)))
    assert error <= limit, f"v2 error {error:g} beyond {limit:g}"
    return len(stream)


def v1_bytes(x: np.ndarray, bound: float) -> float:
    try:
        return len(compress_within(x, bound))
    except ValueError:
        return float("nan")  # the tuned encoder cannot reach this bound


def bounded_table(signals: dict, pysz) -> None:
    print("At equal maximum error (relative): SZ3 bytes / v2 bytes, tuned v1 bytes / v2 bytes")
    print(f"{'bound':>8} {'v2 ratio':>9} {'vs SZ3':>7} {'vs v1':>7} (v1 met)  per recording vs SZ3")
    for bound in BOUNDS:
        ours, sz, v1 = {}, {}, {}
        for name, x in signals.items():
            ours[name] = v2_bytes(x, bound)
            v1[name] = v1_bytes(x, bound)
            if pysz:
                tool = sz3_tool(pysz, bound * float(np.ptp(x.astype(np.float64))))
                sz[name] = payload_size(tool.compress(x))
        ratio = geomean([x.nbytes / ours[n] for n, x in signals.items()])
        vs_sz = geomean([sz[n] / ours[n] for n in sz]) if sz else float("nan")
        vs_v1 = geomean([v1[n] / ours[n] for n in v1])
        met = sum(v == v for v in v1.values())
        per = " ".join(f"{sz[n] / ours[n]:.2f}" for n in sz)
        print(f"{bound:>8g} {ratio:>9.2f} {vs_sz:>7.3f} {vs_v1:>7.3f} ({met:>2}/{len(v1)})  {per}")


def psnr_of(x: np.ndarray, y: np.ndarray) -> float:
    x64 = x.astype(np.float64)
    rms = math.sqrt(float(np.mean((y.astype(np.float64) - x64) ** 2)))
    return math.inf if rms == 0 else 20 * math.log10(float(np.ptp(x64)) / rms)


def sz3_bytes_at_psnr(pysz, x: np.ndarray, psnr: float) -> int:
    """SZ3's bytes at the coarsest absolute bound (bisected in log scale) reaching `psnr`."""
    scale = float(np.ptp(x.astype(np.float64)))
    low, high = math.log(1e-9 * scale), math.log(scale)  # low reaches the PSNR, high need not
    best = None
    for _ in range(BISECTION_STEPS):
        middle = 0.5 * (low + high)
        tool = sz3_tool(pysz, math.exp(middle))
        packed = tool.compress(x)
        if psnr_of(x, tool.decompress(packed)) >= psnr:
            low, best = middle, payload_size(packed)
        else:
            high = middle
    if best is None:
        tool = sz3_tool(pysz, math.exp(low))
        best = payload_size(tool.compress(x))
    return best


def psnr_table(signals: dict, pysz) -> None:
    print("\nAt equal PSNR: SZ3 bytes (coarsest bound reaching it) / v2 bytes (psnr target)")
    print(f"{'PSNR':>6} {'v2 ratio':>9} {'vs SZ3':>7}  per recording vs SZ3")
    for psnr in PSNRS:
        ours, sz = {}, {}
        for name, x in signals.items():
            stream = encode_signal(x, psnr=psnr)
            reached = psnr_of(x, decode_signal(stream))
            assert reached >= psnr, f"v2 PSNR {reached:.2f} below {psnr} on {name}"
            ours[name] = len(stream)
            if pysz:
                sz[name] = sz3_bytes_at_psnr(pysz, x, psnr)
        ratio = geomean([x.nbytes / ours[n] for n, x in signals.items()])
        vs_sz = geomean([sz[n] / ours[n] for n in sz]) if sz else float("nan")
        per = " ".join(f"{sz[n] / ours[n]:.2f}" for n in sz)
        print(f"{psnr:>6} {ratio:>9.2f} {vs_sz:>7.3f}  {per}")


def lossless_table(signals: dict, pcodec) -> None:
    whole = {n: x for n, x in signals.items() if np.array_equal(x, np.rint(x))}
    if not whole:
        return
    print("\nInteger recordings, exact (as int32): bytes")
    tool = pcodec_tool(pcodec) if pcodec else None
    rows = []
    for name, x in whole.items():
        ints = x.astype(np.int32)
        stream = encode_signal(ints)
        assert np.array_equal(decode_signal(stream), ints)
        pc = payload_size(tool.compress(ints)) if tool else None
        rows.append((name, len(stream), pc))
        print(f"  {name:40s} v2 {len(stream):8d}  pcodec {pc if pc else '-':>8}")
    if pcodec:
        print(f"  pcodec bytes / v2 bytes: {geomean([pc / v for _, v, pc in rows]):.3f}")


def speed_table(signals: dict, pysz, rounds: int, bound: float) -> None:
    longest = max(signals.values(), key=len)
    x = np.resize(longest, SPEED_SAMPLES).astype(np.float32)
    absolute = bound * float(np.ptp(x.astype(np.float64)))
    stream = encode_signal(x, max_error=bound)
    jobs = {"v2 encode": lambda: encode_signal(x, max_error=bound),
            "v2 decode": lambda: decode_signal(stream)}
    if pysz:
        tool = sz3_tool(pysz, absolute)
        packed = tool.compress(x)
        jobs["SZ3 compress"] = lambda: tool.compress(x)
        jobs["SZ3 decompress"] = lambda: tool.decompress(packed)
    seconds = timing.cpu_seconds(jobs, rounds)
    print(f"\nCPU time at {SPEED_SAMPLES} samples, bound {bound:g} (least of {rounds}):")
    for name, s in seconds.items():
        print(f"  {name:16s} {s * 1e3:8.1f} ms")
    if pysz:
        print(f"  v2 / SZ3: compress {seconds['v2 encode'] / seconds['SZ3 compress']:.2f}x, "
              f"decompress {seconds['v2 decode'] / seconds['SZ3 decompress']:.2f}x")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--speed-only", action="store_true", help="only the CPU time tables")
    parser.add_argument("--psnr", action="store_true", help="also bytes at equal PSNR")
    args = parser.parse_args()
    signals = recordings()
    if not signals:
        sys.exit("no recordings: install the packages bench/recordings.py reads")
    pysz, pcodec = optional("pysz"), optional("pcodec")
    if not args.speed_only:
        bounded_table(signals, pysz)
        lossless_table(signals, pcodec)
        if args.psnr:
            psnr_table(signals, pysz)
    for bound in SPEED_BOUNDS:
        speed_table(signals, pysz, args.rounds, bound)


if __name__ == "__main__":
    main()
