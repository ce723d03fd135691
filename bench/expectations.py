#!/usr/bin/env python3
"""What each scale and cutoff give: maximum and RMS error relative to the signal's range, and the
compression ratio against float32, with the default method (cdf97) and coder (arans), on the
demo's built-in ECG-like signal and on white noise of the same length. Prints a Markdown table:

    .venv/bin/python bench/expectations.py
"""

from __future__ import annotations

import sys
from pathlib import Path

import numpy as np

import kestova

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "demo"))
from demo import synthetic_ecg  # noqa: E402

CUTOFFS = ("low", "medium", "high")


def measure(x: np.ndarray, scale: int, cutoff: str) -> tuple[float, float, float]:
    stream = kestova.compress_signal(x, kestova.KestovaCompressionOptions(scale=scale,
                                                                          cutoff=cutoff))
    error = kestova.decompress_signal(stream).astype(np.float64) - x
    span = float(x.max() - x.min())
    return (float(np.max(np.abs(error))) / span, float(np.sqrt(np.mean(error**2))) / span,
            x.size * 4 / len(stream))


def main() -> int:
    ecg = synthetic_ecg().samples
    noise = np.random.default_rng(5).standard_normal(ecg.size).astype(np.float32)
    print(f"cdf97 + arans; {ecg.size:,} samples each; errors relative to the signal's range, "
          f"ratio against float32\n")
    print("| scale | cutoff | ECG max err | ECG RMS err | ECG ratio "
          "| noise max err | noise RMS err | noise ratio |")
    print("|---:|---|---:|---:|---:|---:|---:|---:|")
    for scale in range(12, 5, -1):
        for cutoff in CUTOFFS:
            cells = [f"{scale}", cutoff]
            for x in (ecg, noise):
                max_error, rms_error, ratio = measure(x, scale, cutoff)
                cells += [f"{max_error:.1e}", f"{rms_error:.1e}", f"{ratio:.1f}"]
            print("| " + " | ".join(cells) + " |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
