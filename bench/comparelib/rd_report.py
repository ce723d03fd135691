"""Tables, geometric means, target checks and plots of the rate-distortion benchmark."""

from __future__ import annotations

import math

from .matching import Quality
from .rd_tools import REFERENCE, TUNED, V2, Target

# target -> recording -> tool -> quality reached (None: the tool cannot meet the target there)
Results = dict[Target, dict[str, dict[str, Quality | None]]]


def geomean(values: list[float]) -> float:
    return math.exp(sum(math.log(v) for v in values) / len(values)) if values else math.nan


# Per recording, each tool's ratio divided by the best ratio any tool reached there.
def to_best(row: dict[str, Quality | None]) -> dict[str, float | None]:
    met = [q.ratio for q in row.values() if q is not None]
    best = max(met) if met else math.nan
    return {tool: (q.ratio / best if q is not None else None) for tool, q in row.items()}


# Geometric mean of one tool's ratio over the recordings where it met the target, and how many.
def tool_geomean(rows: dict[str, dict[str, Quality | None]], tool: str) -> tuple[float, int]:
    ratios = [row[tool].ratio for row in rows.values() if row.get(tool) is not None]
    return geomean(ratios), len(ratios)


# Geometric mean over recordings of tool `a`'s ratio divided by tool `b`'s, where both met it.
def paired_geomean(rows: dict[str, dict[str, Quality | None]], a: str, b: str) -> tuple[float, int]:
    pairs = [row[a].ratio / row[b].ratio for row in rows.values()
             if row.get(a) is not None and row.get(b) is not None]
    return geomean(pairs), len(pairs)


def _cell(value: float | None, width: int, digits: str) -> str:
    return f"{'unmet':>{width}}" if value is None else f"{value:>{width}{digits}}"


# The ratio table and the ratio-to-best table of one target, with geometric means.
def table(target: Target, rows: dict[str, dict[str, Quality | None]], tools: list[str]) -> str:
    width = max(14, *(len(t) + 1 for t in tools))
    name_width = max(12, *(len(r) + 1 for r in rows))
    head = f"{'recording':<{name_width}}" + "".join(f"{t:>{width}}" for t in tools)
    lines = [f"== ratio at {target.label}", head]
    for name, row in rows.items():
        lines.append(f"{name:<{name_width}}" + "".join(
            _cell(row[t].ratio if row.get(t) else None, width, ".2f") for t in tools))
    means = [tool_geomean(rows, t) for t in tools]
    lines.append(f"{'geomean':<{name_width}}" + "".join(
        f"{f'{m:.2f} ({n}/{len(rows)})':>{width}}" for m, n in means))
    lines += [f"-- ratio / best at {target.label}", head]
    for name, row in rows.items():
        rel = to_best(row)
        lines.append(f"{name:<{name_width}}" + "".join(_cell(rel.get(t), width, ".3f")
                                                       for t in tools))
    return "\n".join(lines)


# The targets that the table results decide, one line each.
def target_checks(results: Results, sz3: str = "sz3") -> list[str]:
    if not any(row.get(TUNED) for rows in results.values() for row in rows.values()):
        return ["no target checked: the tuned encoder was not measured"]
    lines = []
    for target, rows in results.items():
        if target.kind == "max" and target.value in (1e-2, 3e-3):
            g, n = paired_geomean(rows, TUNED, REFERENCE)
            lines.append(f"tuned / today's compress_within at {target.label}: {g:.3f} "
                         f"over {n} recordings (target >= 1.5): {'met' if g >= 1.5 else 'NOT met'}")
    for target, rows in results.items():
        if target.kind == "max" and target.value == 5e-4:
            unmet = [name for name, row in rows.items() if row.get(TUNED) is None]
            lines.append(f"bound 5e-4 met by tuned on {len(rows) - len(unmet)}/{len(rows)} "
                         f"recordings" + (f" (not on {', '.join(unmet)})" if unmet else ""))
    for target, rows in results.items():
        g, n = paired_geomean(rows, TUNED, sz3)
        if n:
            goal = "aim >= 1.0" if target.kind == "psnr" else "aim >= 0.8"
            lines.append(f"tuned / SZ3 at {target.label}: {g:.3f} over {n} recordings ({goal})")
    lines += v2_checks(results, sz3)
    return lines


# Version 2's targets: its ratio against SZ3's at every target and against the tuned encoder's
# at 1e-2 to 5e-4, and the recordings where it misses a bound.
def v2_checks(results: Results, sz3: str = "sz3") -> list[str]:
    lines = []
    for target, rows in results.items():
        goal = 1.15 if target.kind == "psnr" else 1.0
        g, n = paired_geomean(rows, V2, sz3)
        if n:
            lines.append(f"v2 / SZ3 at {target.label}: {g:.3f} over {n} recordings (target >= "
                         f"{goal}): {'met' if g >= goal else 'NOT met'}")
        if target.kind == "max" and target.value >= 5e-4:
            g, n = paired_geomean(rows, V2, TUNED)
            if n:
                lines.append(f"v2 / tuned v1 at {target.label}: {g:.3f} over {n} recordings "
                             f"(target >= 1.25): {'met' if g >= 1.25 else 'NOT met'}")
        unmet = [name for name, row in rows.items() if V2 in row and row[V2] is None]
        if unmet:
            lines.append(f"v2 misses {target.label} on {', '.join(unmet)}")
    return lines


# Tuned against reference at one fixed setting: mean and least PSNR gain, geomean byte ratio.
def fixed_setting_check(pairs: dict[str, tuple[Quality, Quality]], setting: str) -> str:
    gains = [t.psnr - r.psnr for r, t in pairs.values()]
    bytes_ratio = geomean([r.ratio / t.ratio for r, t in pairs.values()])
    # The targets are over the recordings: the mean gain in dB is the geomean of the PSNR ratios.
    ok = sum(gains) / len(gains) >= 4.0 and bytes_ratio <= 1.03
    return (f"at {setting}: tuned PSNR gain over reference mean {sum(gains) / len(gains):+.2f} dB "
            f"(target >= +4), least {min(gains):+.2f} dB; tuned bytes / reference bytes "
            f"{bytes_ratio:.3f} geomean, largest {max(r.ratio / t.ratio for r, t in pairs.values()):.3f} "
            f"(target <= 1.03): {'met' if ok else 'NOT met'}")


# Ratio against max error and against PSNR, one row of two panels per recording.
def plot(results: Results, tools: list[str], path: str) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    recordings = list(next(iter(results.values())))
    fig, axes = plt.subplots(len(recordings), 2, figsize=(11, 2.6 * len(recordings)),
                             squeeze=False)
    for row, name in enumerate(recordings):
        for col, kind in enumerate(("max", "psnr")):
            ax = axes[row][col]
            for tool in tools:
                points = [(q.max_err if kind == "max" else q.psnr, q.ratio)
                          for t, rows in results.items() if t.kind == kind
                          for q in [rows[name].get(tool)] if q is not None]
                if points:
                    points.sort()
                    ax.plot(*zip(*points), marker="o", label=tool)
            ax.set_yscale("log")
            if kind == "max":
                ax.set_xscale("log")
                ax.set_xlabel("max error / range")
            else:
                ax.set_xlabel("PSNR dB")
            ax.set_ylabel("ratio")
            ax.set_title(f"{name}: at equal {'max error' if kind == 'max' else 'PSNR'}",
                         fontsize=9)
            ax.grid(True, which="both", alpha=0.3)
    axes[0][0].legend(fontsize=7)
    fig.tight_layout()
    fig.savefig(path, dpi=90)
    plt.close(fig)
