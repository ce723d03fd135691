"""The demo's command line. It needs only the standard library, so scripts/demo.sh checks the
arguments with it before installing or building anything:

    python3 demo/arguments.py ARGUMENTS...   # exit status 0 when valid, else 2 and one line

Scales and cutoffs are the codec's own, read from kestova_codecs where it is installed; before
the first build only their form is checked, and the demo checks them again once built.
"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

SIGNAL_SUFFIXES = (".wav", ".npy")
PLOT_SUFFIXES = (".png", ".svg", ".pdf")


def _codec_tables():
    """kestova_codecs.tables where the kestova wheel is installed, else None."""
    try:
        from kestova_codecs import tables
    except ImportError:
        return None
    return tables


def parser() -> argparse.ArgumentParser:
    tables = _codec_tables()
    scales = range(tables.MIN_SCALE, tables.MAX_SCALE + 1) if tables else None
    cutoffs = tables.CUTOFFS if tables else None
    scale, cutoff = (tables.DEFAULTS["scale"], tables.DEFAULTS["cutoff"]) if tables else (None, None)
    p = argparse.ArgumentParser(
        prog="demo.sh",
        description="Compresses signals with every wavelet method and entropy coder and reports "
                    "size and fidelity: a built-in ECG-like recording, and any .wav (PCM 8 to "
                    "32-bit or 32-bit float; first channel) or .npy (1-D, or the first row of a "
                    "2-D array) files given.")
    p.add_argument("files", nargs="*", type=Path, help=".wav or .npy files")
    p.add_argument("--scale", type=int, default=scale, choices=scales,
                   metavar=f"{{{scales[0]}..{scales[-1]}}}" if scales else "SCALE",
                   help="quantisation scale (default: the codec's); each step down halves the "
                        "precision")
    p.add_argument("--cutoff", default=cutoff, choices=cutoffs,
                   help="how many small details are zeroed (default: the codec's)")
    p.add_argument("--plot", metavar="FILE.png", type=Path,
                   help="write a plot of original, reconstruction and error (.png, .svg, .pdf)")
    return p


def parse(argv: list[str]) -> argparse.Namespace:
    p = parser()
    args = p.parse_args(argv)
    for path in args.files:
        if path.suffix.lower() not in SIGNAL_SUFFIXES:
            p.error(f"{path}: expected a .wav or .npy file")
        if not path.is_file():
            p.error(f"{path}: no such file")
    if args.plot is not None:
        if args.plot.suffix.lower() not in PLOT_SUFFIXES:
            p.error(f"--plot {args.plot}: expected a name ending in .png, .svg or .pdf")
        folder = args.plot.parent
        if not folder.is_dir():
            p.error(f"--plot {args.plot}: folder {folder} does not exist")
    return args


if __name__ == "__main__":
    parse(sys.argv[1:])
