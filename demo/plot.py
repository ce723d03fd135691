"""The demo's figure: per signal, the whole recording with the plotted window marked, original
and reconstruction overlaid in that window, and the error relative to the signal's range."""

from __future__ import annotations

import numpy as np

WINDOW = 2000  # samples: enough to see the waveform, few enough to see the error


def most_active_window(x: np.ndarray, length: int) -> slice:
    """The `length` samples with the largest variance: where the signal does the most."""
    if x.size <= length:
        return slice(0, x.size)
    v = x.astype(np.float64) - float(np.mean(x))
    sums = np.concatenate(([0.0], np.cumsum(v)))
    squares = np.concatenate(([0.0], np.cumsum(v * v)))
    mean = (sums[length:] - sums[:-length]) / length
    variance = (squares[length:] - squares[:-length]) / length - mean * mean
    start = int(np.argmax(variance))
    return slice(start, start + length)


def plot(path, runs) -> None:
    """`runs`: (Signal, Result) pairs of the demo."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig = plt.figure(figsize=(12, 7.5 * len(runs)), layout="constrained")
    for sub, (signal, result) in zip(np.atleast_1d(fig.subfigures(len(runs), 1)), runs):
        _signal_panels(sub, signal, result)
    fig.savefig(path, dpi=110)
    plt.close(fig)


def _signal_panels(sub, signal, result) -> None:
    x = signal.samples.astype(np.float64)
    y = result.reconstruction.astype(np.float64)
    span = float(x.max() - x.min()) or 1.0
    window = most_active_window(x, WINDOW)
    if signal.rate:
        t, time_label, to_time = np.arange(x.size) / signal.rate, "time (s)", signal.rate
        where = f"{window.start / to_time:.3f} s to {window.stop / to_time:.3f} s"
    else:
        t, time_label = np.arange(x.size, dtype=np.float64), "sample index"
        where = f"samples {window.start:,} to {window.stop:,}"
    sub.suptitle(f"{signal.name}: {result.method} + {result.coder}, ratio {result.ratio:.1f}:1, "
                 f"max error {result.max_error:.2e} and RMS error {result.rms_error:.2e} of the "
                 f"range, PSNR {result.psnr:.1f} dB", fontsize=11)
    whole, detail, error = sub.subplots(3, 1, height_ratios=(1, 1.6, 1))

    whole.plot(t, x, color="0.35", linewidth=0.5)
    whole.axvspan(t[window.start], t[window.stop - 1], color="tab:orange", alpha=0.3,
                  label="plotted window")
    whole.set_title("whole signal", fontsize=10)
    whole.set_ylabel(signal.unit)
    whole.set_xlabel(time_label)
    whole.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize=9)

    tw = t[window]
    detail.plot(tw, x[window], color="tab:blue", linewidth=3.0, alpha=0.35, label="original")
    detail.plot(tw, y[window], color="black", linewidth=0.8, label="reconstruction")
    detail.set_title(f"{window.stop - window.start:,} samples where the signal varies most: "
                     f"{where}", fontsize=10)
    detail.set_ylabel(signal.unit)
    detail.set_xlabel(time_label)
    detail.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize=9)

    relative = (y[window] - x[window]) / span
    error.plot(tw, relative, color="tab:red", linewidth=0.8, label="reconstruction - original")
    error.axhline(0.0, color="0.6", linewidth=0.6)
    error.set_title(f"error in the window, relative to the range {span:.4g} {signal.unit} "
                    f"(largest over the whole signal: {result.max_error:.2e})", fontsize=10)
    error.set_ylabel("error / range")
    error.set_xlabel(time_label)
    error.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize=9)
