"""Tables on standard output and the PNG of throughput and rate-distortion."""

import math

from .run import Row, SignalResult

_HEAD = (f"{'tool':<24} {'setting':<28} {'comp MS/s':>10} {'dec MS/s':>9} {'ratio':>8} "
         f"{'max err/rng':>11} {'rms err/rng':>11} {'PSNR dB':>8}")


def _fmt_row(row: Row) -> str:
    q, s = row.quality, row.speed
    psnr = "inf" if math.isinf(q.psnr) else f"{q.psnr:.1f}"
    return (f"{row.tool.family:<24} {row.tool.setting:<28} {s.compress:>10.1f} {s.decompress:>9.1f} "
            f"{q.ratio:>8.2f} {q.max_err:>11.3e} {q.rms_err:>11.3e} {psnr:>8}")


# The table of one signal, then every lossy peer's ratio at its matched maximum error beside
# Kestova's at default settings.
def table(result: SignalResult) -> str:
    lines = [f"== {result.signal}: {result.n:,} float32 samples, range {result.range:.4g}; "
             f"lossy peers matched to max error {result.target:.4g} ({result.target_source}) ==",
             _HEAD, "-" * len(_HEAD)]
    lines += [_fmt_row(r) for r in result.rows]
    lines += [""] + summary(result)
    return "\n".join(lines)


def summary(result: SignalResult) -> list[str]:
    ours = next((r for r in result.rows if r.tool.default), None)
    if ours is None:
        return ["Kestova's default not measured."]
    lines = [f"compression ratio at matched max error: kestova {ours.quality.ratio:.2f} "
             f"(max err/rng {ours.quality.max_err:.3e})"]
    for row in result.rows:
        if row.tool.family != "kestova" and not row.tool.lossless:
            lines.append(f"    {row.tool.label:<44} {row.quality.ratio:8.2f} "
                         f"(max err/rng {row.quality.max_err:.3e})")
    return lines


# Whether two rows' points would overprint each other's labels on the rate-distortion panel.
def _close(a: Row, b: Row) -> bool:
    return (abs(a.quality.psnr - b.quality.psnr) < 1.0
            and abs(math.log10(a.quality.ratio / b.quality.ratio)) < 0.03)


# PNG with, per signal and size, the throughput of every row and the rate-distortion curves.
def plot(results: list[SignalResult], path: str) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import matplotlib.ticker

    fig, axes = plt.subplots(len(results), 2, figsize=(19, 7 * len(results)), squeeze=False,
                             gridspec_kw={"width_ratios": [3, 2]}, layout="constrained")
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
        ax_speed.legend(loc="upper center", bbox_to_anchor=(0.5, -0.07), ncols=2, fontsize=8)
        colours = {}
        for family, points in result.curves.items():
            psnr, ratio = zip(*sorted(points))
            (line,) = ax_rd.plot(psnr, ratio, marker="o", markersize=3, label=f"{family} (sweep)")
            colours[family] = line.get_color()
        # The table's rows, including settings off the curves: numbered diamonds, with the
        # numbers explained beside the panel (rows at the same point share one label).
        lossy = [r for r in result.rows if not r.tool.lossless and not math.isinf(r.quality.psnr)]
        at_point: list[list[int]] = []
        for number, row in enumerate(lossy, 1):
            ax_rd.scatter(row.quality.psnr, row.quality.ratio, s=28, marker="D",
                          color=colours.get(row.tool.family, "k"), edgecolors="black",
                          linewidths=0.5, zorder=3)
            near = next((g for g in at_point if _close(lossy[g[0] - 1], row)), None)
            if near is None:
                at_point.append([number])
            else:
                near.append(number)
        for numbers in at_point:
            row = lossy[numbers[0] - 1]
            ax_rd.annotate(",".join(map(str, numbers)), (row.quality.psnr, row.quality.ratio),
                           fontsize=7, xytext=(4, 3), textcoords="offset points")
        ax_rd.scatter([], [], s=28, marker="D", color="white", edgecolors="black",
                      label="table rows, numbered:")
        ax_rd.text(1.02, 0.0, "\n".join(f"{n}  {r.tool.label}" for n, r in enumerate(lossy, 1)),
                   transform=ax_rd.transAxes, fontsize=7, va="bottom", ha="left")
        ax_rd.set_yscale("log")
        ax_rd.set_xlabel("PSNR (dB), peak = signal range")
        ax_rd.set_ylabel("compression ratio (float32 bytes / compressed bytes)")
        ax_rd.set_title(f"{result.signal}: rate-distortion (peers matched to Kestova's max error)")
        ax_rd.grid(True, which="both", alpha=0.3)
        ax_rd.legend(fontsize=8, loc="upper left", bbox_to_anchor=(1.01, 1.0))
    fig.savefig(path, dpi=90)
    plt.close(fig)
