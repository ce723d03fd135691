"""Error-bounded compression of recordings: the tuned closed loop (method chosen, and cdf97)
against the reference encoder's search (cdf97), at bounds of 1e-2 down to 5e-4 of the range.
Prints each one's ratio against float32 and the geometric means.

    python bench/recordings.py /tmp/rec         # with obspy, matplotlib, PyWavelets installed
    python bench/bounded_vs_search.py /tmp/rec  # with kestova installed
"""

from __future__ import annotations

import math
import sys
from pathlib import Path

import numpy as np

from kestova_codecs.error_bound import compress_within

BOUNDS = (1e-2, 3e-3, 1e-3, 5e-4)
VARIANTS = {
    "search, cdf97": {"encoder": "reference", "method": "cdf97"},
    "tuned, cdf97": {"encoder": "tuned", "method": "cdf97"},
    "tuned, open": {"encoder": "tuned", "method": None},
}


def ratio(x: np.ndarray, bound: float, settings: dict) -> float | None:
    try:
        return x.nbytes / len(compress_within(x, bound, **settings))
    except ValueError:
        return None  # the bound cannot be met


def main(folder: Path) -> None:
    recordings = {p.stem: np.fromfile(p, "<f4") for p in sorted(folder.glob("*.f32"))}
    logs = {(name, b): [] for name in VARIANTS for b in BOUNDS}
    print(f"{'recording':36}" + "".join(f"{b:>30.0e}" for b in BOUNDS))
    print(f"{'':36}" + "   search  tuned97 tunedopen" * len(BOUNDS))
    for rec, x in recordings.items():
        cells = []
        for b in BOUNDS:
            for name, settings in VARIANTS.items():
                r = ratio(x, b, settings)
                cells.append("    unmet" if r is None else f"{r:9.2f}")
                if r is not None:
                    logs[name, b].append(math.log(r))
            cells[-1] += "  "
        print(f"{rec:36}" + " ".join(cells))
    for name in VARIANTS:
        means = [math.exp(sum(v) / len(v)) if (v := logs[name, b]) else float("nan")
                 for b in BOUNDS]
        met = [len(logs[name, b]) for b in BOUNDS]
        print(f"geometric mean, {name:20}" + "".join(f"{m:10.2f} ({k}/{len(recordings)})"
                                                   for m, k in zip(means, met)))


if __name__ == "__main__":
    main(Path(sys.argv[1]))
