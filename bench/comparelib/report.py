"""Tables on standard output and the PNG of throughput and rate-distortion."""

import math

from .run import Row, SignalResult

# Targets for Kestova at default settings, as (peer family, direction, minimum speed ratio).
TARGETS = (("pywt+zlib", "compress", 3.0), ("zfpy accuracy", "compress", 0.6),
           ("zfpy accuracy", "decompress", 0.7))

_HEAD = (f"{'tool':<24} {'setting':<28} {'comp MS/s':>10} {'dec MS/s':>9} {'ratio':>8} "
         f"{'max err/rng':>11} {'rms err/rng':>11} {'PSNR dB':>8}")


def _fmt_row(row: Row) -> str:
    q, s = row.quality, row.speed
    psnr = "inf" if math.isinf(q.psnr) else f"{q.psnr:.1f}"
    return (f"{row.tool.family:<24} {row.tool.setting:<28} {s.compress:>10.1f} {s.decompress:>9.1f} "
            f"{q.ratio:>8.2f} {q.max_err:>11.3e} {q.rms_err:>11.3e} {psnr:>8}")


# The table of one signal, then Kestova's default against the targets and the matched peers.
def table(result: SignalResult) -> str:
    lines = [f"== {result.signal}: {result.n:,} float32 samples, range {result.range:.4g}; "
             f"lossy peers matched to max error {result.target:.4g} ({result.target_source}) ==",
             _HEAD, "-" * len(_HEAD)]
    lines += [_fmt_row(r) for r in result.rows]
    lines += [""] + summary(result)
    return "\n".join(lines)


def _first(result: SignalResult, family: str) -> Row | None:
    return next((r for r in result.rows if r.tool.family == family), None)


# Speed ratios of Kestova's default against the targets, and every lossy peer's ratio at its
# matched maximum error beside Kestova's.
def summary(result: SignalResult) -> list[str]:
    ours = next((r for r in result.rows if r.tool.default), None)
    if ours is None:
        return ["Kestova's default not measured: no targets checked."]
    lines = []
    for family, direction, minimum in TARGETS:
        peer = _first(result, family)
        if peer is None:
            lines.append(f"target {direction} >= {minimum}x {family}: peer absent")
            continue
        ratio = getattr(ours.speed, direction) / getattr(peer.speed, direction)
        verdict = "met" if ratio >= minimum else f"MISSED by {100 * (1 - ratio / minimum):.0f}%"
        lines.append(f"target {direction} >= {minimum}x {family}: {ratio:.2f}x  {verdict}")
    lines.append(f"compression ratio at matched max error: kestova {ours.quality.ratio:.2f} "
                 f"(max err/rng {ours.quality.max_err:.3e})")
    for row in result.rows:
        if row.tool.family != "kestova" and not row.tool.lossless:
            lines.append(f"    {row.tool.label:<44} {row.quality.ratio:8.2f} "
                         f"(max err/rng {row.quality.max_err:.3e})")
    return lines


# PNG with, per signal and size, the throughput of every row and the rate-distortion curves.
def plot(results: list[SignalResult], path: str) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import matplotlib.ticker

    fig, axes = plt.subplots(len(results), 2, figsize=(16, 6.5 * len(results)), squeeze=False,
                             gridspec_kw={"width_ratios": [3, 2]})
    for (ax_speed, ax_rd), result in zip(axes, results):
        labels = [r.tool.label for r in result.rows]
        ys = range(len(labels))
        ax_speed.barh([y - 0.2 for y in ys], [r.speed.compress for r in result.rows], 0.4,
                      label="compress")
        ax_speed.barh([y + 0.2 for y in ys], [r.speed.decompress for r in result.rows], 0.4,
                      label="decompress")
        ax_speed.set_yticks(list(ys), labels, fontsize=8)
        ax_speed.invert_yaxis()
        ax_speed.set_xscale("log")
        ax_speed.xaxis.set_minor_formatter(matplotlib.ticker.NullFormatter())
        ax_speed.set_xlabel("Msamples/s (median)")
        ax_speed.set_title(f"{result.signal}, {result.n:,} samples: throughput")
        ax_speed.legend(loc="lower right")
        for family, points in result.curves.items():
            psnr, ratio = zip(*sorted(points))
            ax_rd.plot(psnr, ratio, marker="o", label=family)
        for row in result.rows:  # the table's points, including settings off the curves
            if not row.tool.lossless:
                ax_rd.scatter(row.quality.psnr, row.quality.ratio, s=10, c="grey", zorder=3)
        ax_rd.set_yscale("log")
        ax_rd.set_xlabel("PSNR (dB)")
        ax_rd.set_ylabel("compression ratio")
        ax_rd.set_title(f"{result.signal}: rate-distortion (peers matched to Kestova's max error)")
        ax_rd.grid(True, which="both", alpha=0.3)
        if result.curves:
            ax_rd.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(path, dpi=90)
    plt.close(fig)
