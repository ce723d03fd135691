#!/usr/bin/env python3
"""Kestova beside the lossy compressors a user would pick instead, on the same 1-D signals.

    pip install -r bench/requirements.txt   # plus the kestova wheel
    python bench/compare.py [--quick] [--plot compare.png]

Prints one table per signal and size: compress and decompress throughput (median of interleaved
rounds), compression ratio, maximum and RMS error relative to the range, PSNR. Peers are set to
their coarsest setting whose maximum error stays within Kestova's at default settings. A peer that
is not installed is skipped with a line saying so.
"""

import argparse
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from comparelib import peers, report, run, signals  # noqa: E402

# Importable module -> distribution that provides it.
MODULES = {"kestova": "kestova", "pywt": "PyWavelets", "zfpy": "zfpy", "pysz": "pysz",
           "numcodecs": "numcodecs"}


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--quick", action="store_true", help="1M samples only (default: 1M and 10M)")
    ap.add_argument("--rounds", type=int, default=5, help="interleaved timing rounds (default 5)")
    ap.add_argument("--signals", default="smooth,noise,alsa",
                    help="comma-separated subset of smooth,noise,alsa")
    ap.add_argument("--plot", metavar="FILE", help="write throughput and rate-distortion PNG")
    ap.add_argument("--no-curves", action="store_true", help="skip the rate-distortion sweeps")
    args = ap.parse_args()

    mods, missing = peers.load(list(MODULES))
    for name, reason in missing.items():
        print(f"skipped {name}: not available ({reason})")
    versions = [f"{MODULES[m]} {peers.version(MODULES[m])}" for m in mods]
    versions += [f"numpy {peers.version('numpy')}", f"Python {sys.version.split()[0]}"]
    print("versions: " + ", ".join(versions))
    if args.plot:
        _, no_plot = peers.load(["matplotlib"])
        if no_plot:
            print(f"no plot: matplotlib not available ({no_plot['matplotlib']})")
            args.plot = None

    sizes = [1_000_000] if args.quick else [1_000_000, 10_000_000]
    results = []
    for name in args.signals.split(","):
        for i, n in enumerate(sizes):
            x = signals.make(name, n)
            if x is None:
                print(f"skipped signal {name}: no source on this machine")
                break
            # The curves are the same at every size: sweep at the first one only.
            result = run.run_signal(name, x, mods, args.rounds, not args.no_curves and i == 0)
            print(report.table(result), end="\n\n", flush=True)
            results.append(result)
    if args.plot and results:
        report.plot(results, args.plot)
        print(f"plot written to {args.plot}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
