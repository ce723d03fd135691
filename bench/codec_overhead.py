#!/usr/bin/env python3
"""What the array-store codecs cost on top of the kestova module, per chunk.

    pip install ".[zarr]"
    python bench/codec_overhead.py [--samples 1048576] [--rounds 15] [--cpu-time]

Times, in interleaved rounds (median), kestova.compress_signal / decompress_signal against the
numcodecs codec Kestova's encode / decode on the same chunk, and prints the overhead of the codec
against the direct call measured in the same run, then the cost of an error bound
(Kestova(max_error=...)) against a plain encode.
"""

import argparse
import statistics
import time

import numpy as np

import kestova
from kestova_codecs import Kestova


def recording(n, seed=1):
    """A float32 test signal: a few tones with drift and noise, as sensors give."""
    rng = np.random.default_rng(seed)
    t = np.arange(n) / 48000.0
    x = np.sin(2 * np.pi * 50 * t) + 0.3 * np.sin(2 * np.pi * 1234 * t) + 0.1 * t
    return (x + 0.02 * rng.standard_normal(n)).astype(np.float32)


def seconds(call, clock):
    start = clock()
    call()
    return clock() - start


def median_times(calls, rounds, clock):
    """Median seconds of each call by `clock` over interleaved rounds (one warm-up round)."""
    times = {name: [] for name in calls}
    for round_number in range(rounds + 1):
        for name, call in calls.items():
            elapsed = seconds(call, clock)
            if round_number:
                times[name].append(elapsed)
    return {name: statistics.median(values) for name, values in times.items()}


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--samples", type=int, default=1 << 20, help="chunk length (default 1M)")
    ap.add_argument("--rounds", type=int, default=15, help="timed rounds (default 15)")
    ap.add_argument("--cpu-time", action="store_true",
                    help="time by the process's CPU time instead of the wall clock")
    args = ap.parse_args()

    x = recording(args.samples)
    codec, bounded = Kestova(), Kestova(max_error=1e-2)
    stream = kestova.compress_signal(x)
    assert codec.encode(x) == stream
    calls = {
        "compress_signal": lambda: kestova.compress_signal(x),
        "Kestova.encode": lambda: codec.encode(x),
        "decompress_signal": lambda: kestova.decompress_signal(stream),
        "Kestova.decode": lambda: codec.decode(stream),
        "Kestova(max_error=1e-2).encode": lambda: bounded.encode(x),
    }
    # Every call runs on one thread, so its CPU time is its work even on a busy machine, where
    # wall time also counts the waits for a core.
    clock = time.process_time if args.cpu_time else time.perf_counter
    times = median_times(calls, args.rounds, clock)

    kind = "CPU" if args.cpu_time else "wall"
    print(f"chunk of {args.samples} float32 samples, median {kind} time of {args.rounds} "
          "interleaved rounds")
    for name, elapsed in times.items():
        print(f"  {name:32s} {elapsed * 1e3:8.2f} ms  {args.samples / elapsed / 1e6:7.1f} Msamples/s")
    for codec_call, direct in (("Kestova.encode", "compress_signal"),
                               ("Kestova.decode", "decompress_signal")):
        overhead = times[codec_call] / times[direct] - 1
        print(f"overhead of {codec_call} over {direct}: {overhead * 100:+.1f} %")
    bound_cost = times["Kestova(max_error=1e-2).encode"] / times["Kestova.encode"]
    print(f"error bound (max_error=1e-2, relative): {bound_cost:.1f}x a plain encode, "
          f"{len(bounded.encode(x))} bytes against {len(stream)} at scale 11")


if __name__ == "__main__":
    main()
