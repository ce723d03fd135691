"""Command-line parsing and the one place where failures become messages and exit statuses."""

from __future__ import annotations

import argparse
import logging
import math
import os
import sys
from pathlib import Path
from typing import Any, NoReturn, Optional, Sequence

from kestova_codecs import tables

from . import commands, selection
from .errors import SomeFailed, UserError, message_of
from .text import printable

USAGE_ERROR = 2
INTERRUPTED = 130  # 128 + SIGINT, as shells report it

COMPRESS_HELP = """\
A 1-D signal (a mono WAV, a 1-D .npy array or raw little-endian float32 in a .f32 or .raw file)
becomes a .kst file: one Kestova container, which any Kestova decoder reads, then a record of
the source's sample type and rate (--rate for a .npy or raw source). A multichannel recording
(a WAV with several channels, or a 2-D .npy array whose rows are channels) becomes a zarr v3
store (a directory, OUT.zarr) holding one array, channel x time, one channel per chunk row, with
the sample rate and the source's sample type as attributes; this needs the zarr extra. With
-o OUT.h5 (or .hdf5) any recording becomes an HDF5 file instead: the same array as dataset
"signal", through the Kestova HDF5 filter; this needs the hdf5 extra. A 1-D signal may go to
a store too; one too long for memory as a .kst file is refused before it is read.
Inputs besides WAV, .npy and raw: FLAC, RF64, W64, AIFF (extra audio), EDF and BDF (extra
edf), miniSEED and SAC (extra seismic); signals at different rates become one array per rate.
Inputs are read, and stores written, block by block. Every input is tried; exit status 2 if any
failed. Samples must be finite. Integer samples are compressed as float32 values (version 1).
--format 2 writes version-2 streams (docs/format.md): any step to --max-error, --psnr or
--bits-per-sample, integer samples kept in their own type and stored exactly without a target,
every stream checksummed.
The default stays version 1 until version 2 meets its speed targets.
--append STORE adds one input to the end of a store's time axis with the store's settings (the
same channels, rate and sample type; options that differ are refused). Samples already in a
partly filled last chunk are re-encoded with the new ones only where they decode back exactly
(checked; integer samples may take a finer setting or a lossless version-2 chunk there), else
the append is refused (float samples, mostly), so every sample stays within the store's bound of
its original. Until it ends, readers see the old length; a failure or Ctrl-C leaves the store
as it was. An HDF5 file is written again beside the old one and renamed over it."""


DECOMPRESS_HELP = """\
The output's name picks its kind: .npy, .wav, .f32 or .raw (float32, channels of each frame
side by side), .h5 (a plain dataset), .flac, .w64, .rf64, .aiff, .edf, .bdf, .mseed, .sac
(default: the source's kind where there is a writer for it, else .npy). The command gives
back what it was given: the source's sample type (integers rounded and clipped to their range),
channels and sample rate, recorded in the store or in the .kst file's record.
Any zarr v3 store whose arrays use the Kestova codec is read, as zarr, xarray and Dask write
them; name the array with --array when there are several. So is any HDF5 dataset that uses the
Kestova HDF5 filter (default: "signal", else the one such dataset; --dataset NAME otherwise).
A .kst file without a record (written by kestova.compress_signal, or by an earlier command) gives
float32 samples: a 1-D .npy, or a mono 32-bit float WAV at the rate given with --rate, with the
values unchanged: they are not scaled to full scale, since their scale is unknown."""


class Parser(argparse.ArgumentParser):
    def error(self, message: str) -> NoReturn:
        self.exit(USAGE_ERROR,
                  f"{self.prog}: error: {printable(message)} (see {self.prog} --help)\n")


class _Version(argparse.Action):
    """--version: the installed distribution's version, looked up only when asked for."""

    def __init__(self, option_strings: Sequence[str], dest: str, **kwargs: Any) -> None:
        super().__init__(option_strings, dest, nargs=0, help="print the version and exit")

    def __call__(self, parser: argparse.ArgumentParser, namespace: argparse.Namespace,
                 values: Any, option_string: Optional[str] = None) -> None:
        print(f"kestova {version()}")
        parser.exit()


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
                         help="no progress and no summary on standard error")
    command.add_argument("--progress", action="store_true",
                         help="show the progress bar also when standard error is not a terminal")


def build_parser() -> Parser:
    parser = Parser(prog="kestova", description="Lossy compression of sampled signals with "
                    "Kestova.")
    parser.add_argument("--version", action=_Version)
    sub = parser.add_subparsers(dest="command", required=True, parser_class=Parser)

    c = sub.add_parser("compress", help="compress recordings", description=COMPRESS_HELP,
                       formatter_class=argparse.RawDescriptionHelpFormatter)
    c.add_argument("inputs", nargs="+", type=Path, metavar="IN",
                   help=".wav, .npy, .f32, .raw, .flac, .w64, .rf64, .aiff, .edf, .bdf, .mseed "
                        "or .sac files; - reads standard input (WAV, .npy, FLAC or raw float32)")
    c.add_argument("-o", "--output", type=Path, metavar="OUT",
                   help="output path (one input only; default: IN with .kst or .zarr); - writes "
                        "one .kst stream to standard output")
    defaults = tables.DEFAULTS
    c.add_argument("--method", choices=tables.METHODS, default=defaults["method"],
                   help=f"wavelet (default {defaults['method']})")
    c.add_argument("--scale", type=int, choices=range(tables.MIN_SCALE, tables.MAX_SCALE + 1),
                   metavar=f"{{{tables.MIN_SCALE}..{tables.MAX_SCALE}}}",
                   help=f"quantisation scale: each step down halves the precision "
                        f"(default {defaults['scale']})")
    c.add_argument("--cutoff", choices=tables.CUTOFFS,
                   help=f"how many small details are zeroed (default {defaults['cutoff']})")
    c.add_argument("--coder", choices=tables.CODERS, default=defaults["coder"],
                   help=f"entropy coder (default {defaults['coder']})")
    c.add_argument("--encoder", choices=tables.ENCODERS, default=tables.DEFAULT_ENCODER,
                   help=f"how coefficients are chosen (default {tables.DEFAULT_ENCODER}): tuned "
                        f"gives about half the error at the same size and meets --max-error in "
                        f"one pass; reference writes what kestova.compress_signal writes")
    c.add_argument("--max-error", type=_error_bound, metavar="E",
                   help="pick the coarsest scale and cutoff whose maximum error stays within E, "
                        "relative to the signal's range (per chunk in a store)")
    c.add_argument("--psnr", type=_error_bound, metavar="DB",
                   help="for a .kst output: the smallest stream whose peak signal-to-noise ratio "
                        "(20 log10 of the range over the RMS error) reaches DB, searched over "
                        "the scales and cutoffs")
    c.add_argument("--bits-per-sample", type=_error_bound, metavar="B",
                   help="with --format 2: the finest step whose stream takes at most B bits per "
                        "sample (per chunk in a store)")
    c.add_argument("--absolute", action="store_true",
                   help="--max-error is in the signal's own units")
    c.add_argument("--format", type=int, choices=(1, 2), default=1,
                   help="stream version (default 1, until version 2 meets its speed targets); "
                        "2 takes --max-error, --absolute, --psnr and --bits-per-sample only, "
                        "and without them "
                        "stores integer samples exactly")
    c.add_argument("--rate", type=_positive_rate, metavar="HZ",
                   help="sample rate of a .npy or raw source, recorded in the output")
    c.add_argument("--append", type=Path, metavar="STORE",
                   help="add the input to the end of the time axis of STORE (a zarr store or "
                        "HDF5 file the command wrote), with its settings; see above")
    _add_output_flags(c)
    c.set_defaults(run=commands.compress)

    d = sub.add_parser("decompress", help="decompress a .kst file or a store",
                       description=DECOMPRESS_HELP,
                       formatter_class=argparse.RawDescriptionHelpFormatter)
    d.add_argument("input", type=Path, metavar="IN",
                   help="a .kst file, a zarr v3 store or an HDF5 file; - reads a .kst stream "
                        "from standard input")
    d.add_argument("-o", "--output", type=Path, metavar="OUT",
                   help="the output (default: IN with the source's own suffix where there is a "
                        "writer for it, else .npy); - writes standard output: WAV for an audio "
                        "source, else raw float32")
    d.add_argument("--array", "--dataset", metavar="NAME",
                   help="the store's array or the HDF5 file's dataset to decompress, when it "
                        "holds several")
    d.add_argument("--rate", type=_positive_rate, metavar="HZ",
                   help="sample rate of the WAV written (overrides a recorded one)")
    d.add_argument("--channels", type=selection.channel_list, metavar="LIST",
                   help="only these channels, numbered from 0: 0,3-5")
    d.add_argument("--start", type=selection.instant, metavar="T",
                   help="from this time (10s, 250ms, 2min, 1h) or sample number")
    d.add_argument("--end", type=selection.instant, metavar="T",
                   help="up to this time or sample number (excluded)")
    _add_output_flags(d)
    d.set_defaults(run=commands.decompress)

    i = sub.add_parser("info", help="describe .kst files and stores",
                       description="Prints a .kst file's header fields and record, or each "
                                   "Kestova array of a zarr v3 store or HDF5 file.")
    i.add_argument("inputs", nargs="+", type=Path, metavar="IN",
                   help=".kst files, zarr v3 stores or HDF5 files")
    i.set_defaults(run=commands.info)
    return parser


def _check(parser: Parser, args: argparse.Namespace) -> None:
    if args.command != "compress":
        return
    if args.append is not None and args.output is not None:
        parser.error("--append names the output: drop -o")
    if args.format == 2:
        defaults = tables.DEFAULTS
        given = [f"--{name}" for name, default in (("method", defaults["method"]),
                                                   ("scale", None), ("cutoff", None),
                                                   ("coder", defaults["coder"]),
                                                   ("encoder", tables.DEFAULT_ENCODER))
                 if getattr(args, name) != default]
        if given:
            parser.error(f"{', '.join(given)}: version-1 setting{'s' * (len(given) > 1)}; "
                         "--format 2 takes --max-error (with --absolute), --psnr or "
                         "--bits-per-sample")
        targets = [name for name in ("max_error", "psnr", "bits_per_sample")
                   if getattr(args, name) is not None]
        if len(targets) > 1:
            parser.error("give one target: --max-error, --psnr or --bits-per-sample")
    elif args.bits_per_sample is not None:
        parser.error("--bits-per-sample is a version-2 target: give --format 2 with it")
    if args.max_error is not None and (args.scale is not None or args.cutoff is not None):
        parser.error("--max-error picks the scale and cutoff itself: drop --scale and --cutoff")
    if args.psnr is not None and (args.max_error is not None or args.scale is not None
                                  or args.cutoff is not None):
        parser.error("--psnr picks the scale and cutoff itself: drop --max-error, --scale and "
                     "--cutoff")
    if args.absolute and args.max_error is None:
        parser.error("--absolute qualifies --max-error, which is missing")
    args.scale = tables.DEFAULTS["scale"] if args.scale is None else args.scale
    args.cutoff = args.cutoff or tables.DEFAULTS["cutoff"]


def version() -> str:
    from importlib.metadata import PackageNotFoundError, version

    try:
        return version("kestova")
    except PackageNotFoundError:
        return "unknown (not installed)"


def main(argv: list[str] | None = None) -> int:
    # When a chunk is refused, zarr's event loop still holds tasks for the other chunks and
    # logs each one at exit; the one line saying what failed is all the user should see.
    logging.getLogger("asyncio").disabled = True
    parser = build_parser()
    args = parser.parse_args(argv)
    _check(parser, args)
    try:
        args.run(args)
        sys.stdout.flush()
    except BrokenPipeError:
        # The reader closed the pipe (`kestova info x | head -1`): stop quietly, as other
        # command-line tools do; stdout goes nowhere so the exit flush cannot fail again.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 0
    except SomeFailed:  # each failure has had its line
        return USAGE_ERROR
    except (UserError, OSError, MemoryError) as error:
        return _fail(message_of(error) or str(error))
    except KeyboardInterrupt:
        # The partial output is gone by now; leave without the shutdown of libraries' threads
        # (zarr's event loop), which would only add their own complaints.
        print("kestova: interrupted", file=sys.stderr, flush=True)
        sys.stdout.flush()
        os._exit(INTERRUPTED)
    return 0


def _fail(message: str) -> int:
    print(f"kestova: error: {printable(message)}", file=sys.stderr)
    return USAGE_ERROR
