"""Compresses signals with every wavelet method and entropy coder and reports size and fidelity.

Runs on a built-in synthetic ECG recording and on any .wav or .npy files given:

    python demo/demo.py [FILE ...] [--scale 11] [--cutoff low] [--plot out.png]
"""

from __future__ import annotations

import math
import sys
import time
import zlib
from dataclasses import dataclass
from pathlib import Path

import numpy as np

import kestova
from arguments import parse
from kestova_cli.errors import UserError
from kestova_cli.npy import load_npy
from kestova_cli.recording import INTEGER_RANGES, require_finite
from kestova_cli.wav import read_wav
from kestova_codecs.tables import METHODS, RECORDED_CODERS
from plot import plot


@dataclass
class Signal:
    name: str
    samples: np.ndarray  # 1-D float32 or float64
    rate: float | None  # samples per second, for the plot's time axis, when known
    unit: str  # of the samples, for the plot's axes


@dataclass
class Result:
    method: str
    coder: str
    size: int
    ratio: float
    max_error: float  # relative to the signal's range
    rms_error: float  # relative to the signal's range
    psnr: float  # dB, peak = range
    compress_rate: float  # MB of float32 samples per second
    decompress_rate: float
    reconstruction: np.ndarray


def synthetic_ecg(seconds: float = 300.0, rate: float = 360.0, seed: int = 1) -> Signal:
    """An ECG-like recording in millivolts: P, QRS and T waves with a varying heart rate,
    baseline wander from breathing, 50 Hz mains hum and sensor noise."""
    rng = np.random.default_rng(seed)
    t = np.arange(int(seconds * rate)) / rate
    ecg = np.zeros_like(t)
    # (offset from the R peak in s, width in s, amplitude in mV) of each wave
    waves = ((-0.20, 0.025, 0.15), (-0.03, 0.010, -0.12), (0.0, 0.012, 1.2),
             (0.03, 0.010, -0.25), (0.25, 0.045, 0.35))
    beat = 0.5
    while beat < seconds:
        for offset, width, amplitude in waves:
            ecg += amplitude * np.exp(-0.5 * ((t - beat - offset) / width) ** 2)
        beat += 60.0 / (72.0 + 6.0 * math.sin(2 * math.pi * beat / 20.0)) + rng.normal(0, 0.02)
    ecg += 0.15 * np.sin(2 * np.pi * 0.25 * t) + 0.02 * np.sin(2 * np.pi * 50.0 * t)
    ecg += rng.normal(0, 0.01, t.size)
    return Signal("built-in ECG, 5 min at 360 Hz", ecg.astype(np.float32), rate, "mV")


def read_wav_signal(path: Path) -> Signal:
    """The first channel of a .wav file, integer PCM scaled to full scale -1..1."""
    wav = read_wav(path)
    require_finite(str(path), wav.samples)
    if wav.samples.shape[0] > 1:
        print(f"{path}: using the first of its {wav.samples.shape[0]} channels")
    first = wav.samples[0].astype(np.float64)
    if wav.sample_type in INTEGER_RANGES:
        low, high = INTEGER_RANGES[wav.sample_type]
        middle = (high + 1 + low) / 2
        first = (first - middle) / (high + 1 - middle)
    return Signal(f"{path.name} ({wav.rate} Hz)", first.astype(np.float32), float(wav.rate),
                  "full scale")


def read_npy(path: Path) -> Signal:
    """A 1-D .npy array (the first row of a 2-D one) as float32, or float64 if stored so."""
    data = load_npy(path)
    if data.dtype.kind not in "fiu":
        raise ValueError(f"{path}: expected an array of numbers, got {data.dtype}")
    if data.ndim == 2 and data.shape[0] > 1:
        print(f"{path}: using the first of its {data.shape[0]} rows")
    if data.ndim == 2:
        data = data[0]
    if data.ndim != 1 or data.size == 0:
        raise ValueError(f"{path}: expected a non-empty 1-D or 2-D array, got shape {data.shape}")
    require_finite(str(path), data.reshape(1, -1))
    if data.dtype != np.float64:
        data = data.astype(np.float32)
    return Signal(path.name, np.ascontiguousarray(data), None, "value")


def best_time(call, minimum: float = 0.15) -> float:
    """The fastest of repeated runs of `call`, repeating for at least `minimum` seconds."""
    best, spent = math.inf, 0.0
    while spent < minimum or best == math.inf:
        start = time.perf_counter()
        call()
        elapsed = time.perf_counter() - start
        best, spent = min(best, elapsed), spent + elapsed
    return best


def measure(signal: Signal, method: str, coder: str, scale: int, cutoff: str) -> Result:
    options = kestova.KestovaCompressionOptions(method, scale, cutoff, coder)
    x = signal.samples
    stream = kestova.compress_signal(x, options)
    y = kestova.decompress_signal(stream)
    reference = x.astype(np.float64)
    span = float(reference.max() - reference.min()) or 1.0
    error = y.astype(np.float64) - reference
    rms = float(np.sqrt(np.mean(error**2)))
    megabytes = x.size * 4 / 1e6
    return Result(
        method=method,
        coder=coder,
        size=len(stream),
        ratio=x.size * 4 / len(stream),
        max_error=float(np.max(np.abs(error))) / span,
        rms_error=rms / span,
        psnr=20 * math.log10(span / rms) if rms > 0 else math.inf,
        compress_rate=megabytes / best_time(lambda: kestova.compress_signal(x, options)),
        decompress_rate=megabytes / best_time(lambda: kestova.decompress_signal(stream)),
        reconstruction=y,
    )


def report(signal: Signal, results: list[Result]) -> None:
    x = signal.samples
    print(f"\n{signal.name}: {x.size} samples ({x.dtype}), "
          f"range {float(x.min()):.4g} .. {float(x.max()):.4g}, "
          f"{x.size * 4} bytes as float32")
    lossless = len(zlib.compress(x.astype(np.float32).tobytes(), 6))
    print(f"baseline: zlib level 6 of the float32 bytes (lossless) gives {lossless} bytes, "
          f"ratio {x.size * 4 / lossless:.2f}")
    print(f"{'method':<7}{'coder':<9}{'bytes':>10}{'ratio':>8}{'max err':>10}{'rms err':>10}"
          f"{'PSNR dB':>9}{'comp MB/s':>11}{'decomp MB/s':>13}")
    for r in results:
        print(f"{r.method:<7}{r.coder:<9}{r.size:>10}{r.ratio:>8.2f}{r.max_error:>10.2e}"
              f"{r.rms_error:>10.2e}{r.psnr:>9.1f}{r.compress_rate:>11.1f}"
              f"{r.decompress_rate:>13.1f}")


def main(argv: list[str]) -> int:
    args = parse(argv)
    signals = [synthetic_ecg()]
    for path in args.files:
        reader = read_wav_signal if path.suffix.lower() == ".wav" else read_npy
        try:
            signals.append(reader(path))
        except (OSError, ValueError, UserError) as error:
            print(f"demo.sh: error: {error}", file=sys.stderr)
            return 2

    print(f"kestova: scale {args.scale}, cutoff {args.cutoff}; errors are relative to the "
          f"signal's range; throughput in MB of float32 samples per second")
    runs = []
    for signal in signals:
        results = [measure(signal, m, c, args.scale, args.cutoff)
                   for m in METHODS for c in RECORDED_CODERS]
        report(signal, results)
        runs.append((signal, results[0]))
    if args.plot:
        plot(args.plot, runs)
        print(f"\nplot written to {args.plot}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
