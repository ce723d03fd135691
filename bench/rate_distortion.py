#!/usr/bin/env python3
"""Rate against distortion on real recordings: Kestova's version-1 reference and tuned encoders
and version-2 streams beside the error-bounded and lossless peers, at equal maximum error and at
equal PSNR.

    pip install -r bench/requirements.txt   # plus the kestova wheel (see README)
    python bench/rate_distortion.py [--plot rd.png] [--rounds 5]

Recordings are those installed packages ship (bench/recordings.py). At each maximum error (1e-2
down to 1e-5 of the range) version 1 runs `compress_within` with each encoder, version 2
`encode_signal(max_error=...)`, SZ3 its absolute bound, and zfpy (fixed accuracy), numcodecs
Quantize + Zlib and lilcom the coarsest setting that stays within it; at each PSNR (50 to 90 dB)
version 2 takes `encode_signal(psnr=...)` and every other tool its smallest output that reaches
it (version 1: over every scale and cutoff and the bounded containers above). pcodec and FLAC
(through soundfile, 16 or 24 bits) store whole-number recordings exactly, so they meet every
target there and none on the others. Prints the ratio tables, each tool's ratio to the best,
geometric means over the recordings, the encoders' targets, and the CPU time at 1M samples of
every tool against one version-1 reference compression. A peer that is not installed is skipped
with one line.
"""

from __future__ import annotations

import argparse
import math
import sys
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parent))

from comparelib import matching, peers, rd_report, rd_tools, timing, tools  # noqa: E402
from recordings import recordings  # noqa: E402

# Peer tool -> module it needs.
PEERS = {"sz3": "pysz", "zfpy accuracy": "zfpy", "quantize+zlib": "numcodecs",
         "lilcom": "lilcom", "pcodec lossless": "pcodec", "flac lossless": "soundfile"}
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
        lossless = {t: rd_tools.lossless_at(t, mods[m], x) for t, m in PEERS.items()
                    if t in rd_tools.LOSSLESS and m in mods}
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
            if k.v2:
                row[rd_tools.V2] = rd_tools.v2_at(k.codecs, x, target)
            for tool, module in PEERS.items():
                if module not in mods:
                    continue
                if tool in rd_tools.LOSSLESS:
                    row[tool] = lossless[tool]
                elif tool == "lilcom":
                    row[tool] = rd_tools.lilcom_at(mods[module], x, target)
                else:
                    row[tool] = rd_tools.peer_at(tool, mods[module], x, target)
            results[target][name] = row
        print(f"measured {name} ({x.size} samples)", file=sys.stderr, flush=True)
    return results, fixed


# Each tool's compress and decompress jobs on `x` at the relative bound SPEED_BOUND (lossless
# tools on `whole`, a whole-number recording of the same length, when there is one).
def speed_jobs(k: rd_tools.Kestova, mods: dict, x: np.ndarray, whole: np.ndarray | None) -> dict:
    absolute = SPEED_BOUND * matching.value_range(x)
    target = rd_tools.Target("max", SPEED_BOUND)
    pairs = {"v1 reference": tools.kestova_tool(k.kestova)}
    if k.v2:
        pairs[f"v2 max_error {SPEED_BOUND:g}"] = tools.kestova_v2_tool(k.codecs,
                                                                      max_error=SPEED_BOUND)
        pairs["v2 psnr 70"] = tools.kestova_v2_tool(k.codecs, psnr=70.0)
        pairs["v2 bits_per_sample 4"] = tools.kestova_v2_tool(k.codecs, bits_per_sample=4.0)
    if "pysz" in mods:
        pairs["sz3"] = tools.sz3_tool(mods["pysz"], absolute)
    if "zfpy" in mods:
        pairs["zfpy accuracy"] = tools.zfpy_accuracy_tool(mods["zfpy"], absolute)
    if "numcodecs" in mods:
        pairs["quantize+zlib"] = matching.match_integer(
            lambda d: tools.numcodecs_quantize_tool(mods["numcodecs"], d), x, absolute,
            *rd_tools.QUANTIZE_DIGITS)
    if "lilcom" in mods and rd_tools.lilcom_at(mods["lilcom"], x, target) is not None:
        octave = math.ceil(math.log2(matching.value_range(x)))
        finest, coarsest = rd_tools.LILCOM_TICKS
        pairs["lilcom"] = matching.match_integer(
            lambda t: tools.lilcom_tool(mods["lilcom"], -t, octave), x, absolute, -coarsest,
            -finest)
    inputs = {name: x for name in pairs}
    if whole is not None:
        if k.v2:
            pairs["v2 exact (integers)"] = tools.kestova_v2_tool(k.codecs)
        if "pcodec" in mods:
            pairs["pcodec lossless"] = tools.pcodec_tool(mods["pcodec"])
        bits = next((b for b in (16, 24) if rd_tools.whole_within(whole, b)), None)
        if "soundfile" in mods and bits:
            pairs["flac lossless"] = tools.flac_tool(mods["soundfile"], bits)
        for name in pairs:
            inputs.setdefault(name, whole.astype(np.int32) if name.startswith("v2 exact")
                              else whole)
    jobs = {}
    for name, tool in pairs.items():
        source = inputs[name]
        try:
            payload = tool.compress(source)
        except ValueError as refusal:  # a target this signal cannot meet
            print(f"not timed {name}: {refusal}")
            continue
        jobs[f"{name} compress"] = lambda t=tool, s=source: t.compress(s)
        jobs[f"{name} decompress"] = lambda t=tool, p=payload: t.decompress(p)
    if k.encoders:
        jobs[f"compress_within {SPEED_BOUND:g}, tuned"] = lambda: k.within(x, SPEED_BOUND, "tuned")
    return jobs


# CPU seconds at 1M samples of every tool's compression and decompression, interleaved, against
# one version-1 reference compression.
def speed(k: rd_tools.Kestova, mods: dict, x: np.ndarray, whole: np.ndarray | None,
          rounds: int) -> list[str]:
    seconds = timing.cpu_seconds(speed_jobs(k, mods, x, whole), rounds)
    base = seconds["v1 reference compress"]
    lines = [f"CPU time at {x.size} samples, bound {SPEED_BOUND:g} of the range (least of "
             f"{rounds} interleaved rounds; lossless tools on a whole-number recording):"]
    for name, s in seconds.items():
        lines.append(f"  {name:<40} {1e3 * s:8.1f} ms  {s / base:6.2f}x one v1 reference "
                     f"compression")
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
    shown = [t for t in rd_tools.TOOL_ORDER
             if t in kestova_tools or (t == rd_tools.V2 and k.v2) or PEERS.get(t) in mods]
    versions = [f"{d} {peers.version(d)}"
                for d in ("kestova", "pysz", "zfpy", "numcodecs", "lilcom", "pcodec", "soundfile")]
    print("versions: " + ", ".join(versions))

    signals = recordings()
    if args.only:
        signals = {n: x for n, x in signals.items() if n in args.only.split(",")}
    print("recordings: " + ", ".join(f"{n} ({x.size})" for n, x in signals.items()))
    results, fixed = measure(k, mods, kestova_tools, signals)
    for target, rows in results.items():
        print(rd_report.table(target, rows, shown), end="\n\n")
    print("== targets")
    for line in rd_report.target_checks(results):
        print(line)
    if fixed:
        print(rd_report.fixed_setting_check(fixed, "scale 11, cutoff low"))
    longest = max(signals.values(), key=lambda x: x.size)
    wholes = [x for x in signals.values() if rd_tools.whole_within(x, 32)]
    whole = np.resize(max(wholes, key=lambda x: x.size), SPEED_SAMPLES) if wholes else None
    for line in speed(k, mods, np.resize(longest, SPEED_SAMPLES), whole, args.rounds):
        print(line)
    if args.plot:
        _, no_plot = peers.load(["matplotlib"])
        if no_plot:
            print(f"no plot: matplotlib not available ({no_plot['matplotlib']})")
        else:
            rd_report.plot(results, shown, args.plot)
            print(f"plot written to {args.plot}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
