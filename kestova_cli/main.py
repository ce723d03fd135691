"""Command-line parsing and the one place where failures become messages and exit statuses."""

from __future__ import annotations

import argparse
import math
import sys
from pathlib import Path
from typing import NoReturn

from . import commands
from .errors import UserError

USAGE_ERROR = 2

COMPRESS_HELP = """\
A 1-D signal (a mono WAV, a 1-D .npy array or raw little-endian float32 in a .f32 or .raw file)
becomes a .kst file holding exactly one Kestova container. A multichannel recording (a WAV with
several channels, or a 2-D .npy array whose rows are channels) becomes a zarr v3 store (a
directory, OUT.zarr) holding one array, channel x time, one channel per chunk row, with the sample
rate and the source's sample type as attributes; this needs the zarr extra. With -o OUT.h5 (or
.hdf5) any recording becomes an HDF5 file instead: the same array as dataset "signal", through the
Kestova HDF5 filter; this needs the hdf5 extra.
Samples must be finite. Integer samples are compressed as float32 values."""

DECOMPRESS_HELP = """\
The output's name picks its kind: .npy or .wav. From a store: the source's sample type and
channels (integers rounded and clipped to their range), and its sample rate. A .kst file records
neither: it gives a 1-D float32 .npy, or a mono 32-bit float WAV at the rate given with --rate."""

DATASET_HELP = ("the dataset of an HDF5 file to read (default: 'signal', else the one dataset "
                "using the Kestova filter)")


class Parser(argparse.ArgumentParser):
    def error(self, message: str) -> NoReturn:
        self.exit(USAGE_ERROR, f"{self.prog}: error: {message} (see {self.prog} --help)\n")


def _positive_rate(text: str) -> int:
    rate = int(text)
    if not 0 < rate < 1 << 32:
        raise argparse.ArgumentTypeError(f"expected samples per second, 1 to {(1 << 32) - 1}")
    return rate


def _error_bound(text: str) -> float:
    bound = float(text)
    if not (math.isfinite(bound) and bound > 0):
        raise argparse.ArgumentTypeError("expected a positive number")
    return bound


def _add_output_flags(command: argparse.ArgumentParser) -> None:
    command.add_argument("-f", "--force", action="store_true", help="replace existing outputs")
    command.add_argument("-q", "--quiet", action="store_true",
                         help="no progress on standard error")


def build_parser() -> Parser:
    parser = Parser(prog="kestova", description="Lossy compression of sampled signals with "
                    "Kestova.")
    sub = parser.add_subparsers(dest="command", required=True, parser_class=Parser)

    c = sub.add_parser("compress", help="compress recordings", description=COMPRESS_HELP,
                       formatter_class=argparse.RawDescriptionHelpFormatter)
    c.add_argument("inputs", nargs="+", type=Path, metavar="IN",
                   help=".wav, .npy, .f32 or .raw files")
    c.add_argument("-o", "--output", type=Path, metavar="OUT",
                   help="output path (one input only; default: IN with .kst or .zarr)")
    c.add_argument("--method", choices=("cdf97", "cdf53", "db4", "sym4"), default="cdf97",
                   help="wavelet (default cdf97)")
    c.add_argument("--scale", type=int, choices=range(6, 13), metavar="{6..12}",
                   help="quantisation scale: each step down halves the precision (default 11)")
    c.add_argument("--cutoff", choices=("low", "medium", "high"),
                   help="how many small details are zeroed (default low)")
    c.add_argument("--coder", choices=("auto", "arans", "deflate"), default="auto",
                   help="entropy coder (default auto, which is arans)")
    c.add_argument("--max-error", type=_error_bound, metavar="E",
                   help="pick the coarsest scale and cutoff whose maximum error stays within E, "
                        "relative to the signal's range (per chunk in a store)")
    c.add_argument("--absolute", action="store_true",
                   help="--max-error is in the signal's own units")
    c.add_argument("--rate", type=_positive_rate, metavar="HZ",
                   help="sample rate of a .npy or raw multichannel source, kept in the store")
    _add_output_flags(c)
    c.set_defaults(run=commands.compress)

    d = sub.add_parser("decompress", help="decompress a .kst file or a store",
                       description=DECOMPRESS_HELP,
                       formatter_class=argparse.RawDescriptionHelpFormatter)
    d.add_argument("input", type=Path, metavar="IN",
                   help="a .kst file, a .zarr store or an HDF5 file")
    d.add_argument("-o", "--output", type=Path, metavar="OUT",
                   help="OUT.npy or OUT.wav (default: IN with .wav for a WAV source, else .npy)")
    d.add_argument("--rate", type=_positive_rate, metavar="HZ",
                   help="sample rate of the WAV written from a .kst file")
    d.add_argument("--dataset", metavar="NAME", help=DATASET_HELP)
    _add_output_flags(d)
    d.set_defaults(run=commands.decompress)

    i = sub.add_parser("info", help="describe .kst files and stores",
                       description="Prints a .kst header's fields or a store's summary.")
    i.add_argument("inputs", nargs="+", type=Path, metavar="IN",
                   help=".kst files, .zarr stores or HDF5 files")
    i.add_argument("--dataset", metavar="NAME", help=DATASET_HELP)
    i.set_defaults(run=commands.info)
    return parser


def _check(parser: Parser, args: argparse.Namespace) -> None:
    if args.command != "compress":
        return
    if args.max_error is not None and (args.scale is not None or args.cutoff is not None):
        parser.error("--max-error picks the scale and cutoff itself: drop --scale and --cutoff")
    if args.absolute and args.max_error is None:
        parser.error("--absolute qualifies --max-error, which is missing")
    args.scale = 11 if args.scale is None else args.scale
    args.cutoff = args.cutoff or "low"


def main(argv: list[str] | None = None) -> int:
    parser = build_parser()
    args = parser.parse_args(argv)
    _check(parser, args)
    try:
        args.run(args)
    except UserError as error:
        print(f"kestova: error: {error}", file=sys.stderr)
        return USAGE_ERROR
    except OSError as error:
        where = f"{error.filename}: " if error.filename else ""
        print(f"kestova: error: {where}{error.strerror or error}", file=sys.stderr)
        return USAGE_ERROR
    except KeyboardInterrupt:
        print("kestova: interrupted", file=sys.stderr)
        return 130
    return 0
