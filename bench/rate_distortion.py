#!/usr/bin/env python3
"""Rate against distortion on real recordings: Kestova's reference and tuned encoders beside the
error-bounded peers, at equal maximum error and at equal PSNR.

    pip install -r bench/requirements.txt   # plus the kestova wheel (see README)
    python bench/rate_distortion.py [--plot rd.png] [--rounds 5]

Recordings are those installed packages ship (bench/recordings.py). At each maximum error (1e-2,
3e-3, 1e-3, 5e-4 of the range) Kestova runs `compress_within` with each encoder, SZ3 its absolute
bound, and zfpy (fixed accuracy) and numcodecs Quantize + Zlib the coarsest setting that stays
within it; at each PSNR (50 to 80 dB) every tool takes its smallest output that reaches it
(Kestova: over every scale and cutoff and the bounded containers above). Prints the ratio tables, each tool's ratio to the best,
geometric means over the recordings, the tuned encoder's targets, and the CPU time at 1M samples
of the tuned encoder without and with a bound against one reference compression.
"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parent))

from comparelib import peers, rd_report, rd_tools, timing  # noqa: E402
from recordings import recordings  # noqa: E402

# Peer tool -> module it needs.
PEERS = {"sz3": "pysz", "zfpy accuracy": "zfpy", "quantize+zlib": "numcodecs"}
SPEED_SAMPLES = 1_000_000
SPEED_BOUND = 1e-3


# target -> recording -> tool -> quality, and the reference and tuned qualities at scale 11 low.
def measure(k: rd_tools.Kestova, mods: dict, kestova_tools: list[str], signals: dict):
    results: rd_report.Results = {t: {} for t in rd_tools.targets()}
    fixed = {}
    for name, x in signals.items():
        sweeps = {tool: rd_tools.kestova_sweep(k, x, tool.split()[-1]) for tool in kestova_tools}
        if rd_tools.TUNED in sweeps:
            fixed[name] = (sweeps[rd_tools.REFERENCE][(11, "low")], sweeps[rd_tools.TUNED][(11, "low")])
        # The bounded containers: the max-error results, and candidates at equal PSNR too (the
        # closed loop reaches errors that no fixed setting does).
        bounded = {}
        for tool in kestova_tools:
            for e in rd_tools.MAX_ERRORS:
                data = k.within(x, e, tool.split()[-1])
                bounded[tool, e] = None if data is None else k.quality(x, data)
                if data is not None:
                    sweeps[tool][("within", e)] = bounded[tool, e]
        for target in results:
            row = {}
            for tool in kestova_tools:
                if target.kind == "max":
                    row[tool] = bounded[tool, target.value]
                else:
                    row[tool] = rd_tools.best_of_sweep(sweeps[tool], target)
            for tool, module in PEERS.items():
                if module in mods:
                    row[tool] = rd_tools.peer_at(tool, mods[module], x, target)
            results[target][name] = row
        print(f"measured {name} ({x.size} samples)", file=sys.stderr, flush=True)
    return results, fixed


# CPU seconds at 1M samples: one reference compression, the tuned encoder without and with a
# bound, and today's bounded search, interleaved.
def speed(k: rd_tools.Kestova, x: np.ndarray, rounds: int) -> list[str]:
    jobs = {"reference compression": lambda: k.fixed(x, "reference"),
            f"compress_within {SPEED_BOUND:g}, reference": lambda: k.within(x, SPEED_BOUND, "reference")}
    if k.encoders:
        jobs["tuned, no bound"] = lambda: k.fixed(x, "tuned")
        jobs[f"compress_within {SPEED_BOUND:g}, tuned"] = lambda: k.within(x, SPEED_BOUND, "tuned")
        jobs[f"compress_within {SPEED_BOUND:g}, tuned cdf97"] = (
            lambda: k.within(x, SPEED_BOUND, "tuned", method="cdf97"))
    seconds = timing.cpu_seconds(jobs, rounds)
    base = seconds["reference compression"]
    limits = {"tuned, no bound": 1.15, f"compress_within {SPEED_BOUND:g}, tuned": 2.0}
    lines = [f"CPU time at {x.size} samples (least of {rounds} interleaved rounds):"]
    for name, s in seconds.items():
        note = f" (target <= {limits[name]})" if name in limits else ""
        lines.append(f"  {name:<36} {1e3 * s:8.1f} ms  {s / base:5.2f}x one reference "
                     f"compression{note}")
    return lines


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--plot", metavar="FILE", help="write ratio against max error and PSNR (PNG)")
    ap.add_argument("--rounds", type=int, default=5, help="interleaved timing rounds (default 5)")
    ap.add_argument("--only", help="comma-separated recording names (default: all)")
    args = ap.parse_args()

    mods, missing = peers.load(["kestova", "kestova_codecs.error_bound", *PEERS.values()])
    for name, reason in missing.items():
        print(f"skipped {name}: not available ({reason})")
    if "kestova" not in mods or "kestova_codecs.error_bound" not in mods:
        return 1
    import kestova_codecs

    k = rd_tools.Kestova(mods["kestova"], kestova_codecs, mods["kestova_codecs.error_bound"])
    kestova_tools = [rd_tools.REFERENCE] + ([rd_tools.TUNED] if k.encoders else [])
    if not k.encoders:
        print("skipped kestova tuned: compress_within has no encoder argument in this build")
    tools = [t for t in rd_tools.TOOL_ORDER if t in kestova_tools or PEERS.get(t) in mods]
    versions = [f"{d} {peers.version(d)}" for d in ("kestova", "pysz", "zfpy", "numcodecs")]
    print("versions: " + ", ".join(versions))

    signals = recordings()
    if args.only:
        signals = {n: x for n, x in signals.items() if n in args.only.split(",")}
    print("recordings: " + ", ".join(f"{n} ({x.size})" for n, x in signals.items()))
    results, fixed = measure(k, mods, kestova_tools, signals)
    for target, rows in results.items():
        print(rd_report.table(target, rows, tools), end="\n\n")
    print("== targets")
    for line in rd_report.target_checks(results):
        print(line)
    if fixed:
        print(rd_report.fixed_setting_check(fixed, "scale 11, cutoff low"))
    longest = max(signals.values(), key=lambda x: x.size)
    for line in speed(k, np.resize(longest, SPEED_SAMPLES), args.rounds):
        print(line)
    if args.plot:
        _, no_plot = peers.load(["matplotlib"])
        if no_plot:
            print(f"no plot: matplotlib not available ({no_plot['matplotlib']})")
        else:
            rd_report.plot(results, tools, args.plot)
            print(f"plot written to {args.plot}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
