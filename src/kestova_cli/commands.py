"""The three subcommands: compress, decompress and info. Every file of a batch is tried; each
failure is told in one line as it happens, and the batch fails at the end."""

from __future__ import annotations

import argparse
import sys
from pathlib import Path
from typing import Callable, Iterable

from .append import append_to, given_settings
from .atomic import replacing
from .errors import SomeFailed, UserError, message_of
from .inputs import read_input
from .outputs import PART_WRITERS, check_output_kind, default_output_suffix, write_output
from .progress import Progress
from .recording import Recording, numpy_type
from .selection import select
from .sources import source_kind
from .streams import DASH, STDOUT, spooled_stdin, stdout_name
from .targets import TARGETS, default_suffix
from .text import printable
from .zarr_stores import stored_bytes


def _each(paths: Iterable[Path], job: Callable[[Path], None]) -> None:
    """Runs `job` on every path; a failure is told at once and the next path tried."""
    failed = 0
    for path in paths:
        try:
            job(path)
        except BrokenPipeError:
            raise  # standard output is gone: nothing more to say to anyone
        except (UserError, OSError, MemoryError) as error:
            print(f"kestova: error: {printable(message_of(error, str(path)) or str(error))}", file=sys.stderr,
                  flush=True)
            failed += 1
    if failed:
        raise SomeFailed()


def compress(args: argparse.Namespace) -> None:
    if args.output is not None and len(args.inputs) > 1:
        raise UserError("-o names one output: give one input with it")
    if args.append is not None and len(args.inputs) > 1:
        raise UserError("--append takes one input: append several one after the other")
    if args.format == 2:  # the codecs' version-2 settings: every output takes them
        settings = {"format": 2, "max_error": args.max_error, "relative": not args.absolute,
                    "psnr": args.psnr, "bits_per_sample": args.bits_per_sample}
    else:
        settings = {"method": args.method, "scale": args.scale, "cutoff": args.cutoff,
                    "coder": args.coder, "max_error": args.max_error,
                    "relative": not args.absolute, "encoder": args.encoder}
    if args.psnr is not None and args.format == 1:  # only a .kst target takes it
        settings["psnr"] = args.psnr
    progress = Progress(args.quiet, args.progress)

    def one(path: Path) -> None:
        if path == DASH:
            if args.output is None and args.append is None:
                raise UserError("standard input has no name to make the output's from: give -o")
            with spooled_stdin(".f32") as spooled:
                return one_file(spooled, path)
        return one_file(path, path)

    def one_file(path: Path, named: Path) -> None:
        recordings = read_input(path, args.rate)
        if settings.get("format") == 2 and args.max_error is None and args.psnr is None and \
                args.bits_per_sample is None and \
                any(numpy_type(r.sample_type).kind == "f" for r in recordings):
            raise UserError(f"{named}: float samples need --max-error or --psnr (or "
                            "--bits-per-sample) with --format 2 (integer samples are stored "
                            "exactly without them)")
        if args.append is not None:
            with progress.bar(sum(r.samples for r in recordings), named.name) as tick:
                append_to(args.append, recordings, given_settings(args), str(named), tick)
            progress.done(f"{named} -> {args.append}: appended "
                          f"{', '.join(_shape(r) for r in recordings)}")
            return
        if args.output == DASH:  # one .kst stream to standard output
            if len(recordings) > 1 or not TARGETS[".kst"].takes(recordings[0]):
                raise UserError(f"{named}: standard output takes a 1-D signal as one .kst "
                                f"stream; write a store with -o NAME.zarr")
            with progress.bar(recordings[0].samples, named.name) as tick:
                TARGETS[".kst"].write(STDOUT, recordings[0].counted(tick), settings,
                                      str(named), True)
            return
        target_path = args.output or path.with_suffix(default_suffix(recordings))
        target = TARGETS.get(target_path.suffix.lower())
        if target is None or not all(target.takes(r) for r in recordings):
            takes = [s for s, t in TARGETS.items() if all(t.takes(r) for r in recordings)]
            raise UserError(f"{target_path}: {_kind(recordings)} is written to a "
                            f"{' or '.join(takes)} output")
        if args.psnr is not None and args.format == 1 and target is not TARGETS[".kst"]:
            raise UserError(f"{target_path}: --psnr chooses the settings of one .kst stream; a "
                            f"store's chunks take --max-error")
        samples = sum(r.samples for r in recordings)
        with replacing(target_path, args.force) as partial, \
                progress.bar(samples, f"{path.name}") as tick:
            for index, recording in enumerate(recordings):
                target.write(partial, recording.counted(tick), settings, str(named), index == 0)
        written = stored_bytes(target_path) if target_path.is_dir() else \
            target_path.stat().st_size
        shape = ", ".join(_shape(r) + (f" ({r.name})" if r.name else "") for r in recordings)
        progress.done(f"{named} -> {target_path}: {shape}, "
                      f"ratio {samples * 4 / written:.2f} against float32")

    _each(args.inputs, one)


def _kind(recordings: list[Recording]) -> str:
    if len(recordings) > 1:
        return f"a file of {len(recordings)} recordings at different rates"
    return "a 1-D signal" if recordings[0].one_dimensional else "a multichannel recording"


def decompress(args: argparse.Namespace) -> None:
    if args.input == DASH:
        if args.output is None:
            raise UserError("standard input has no name to make the output's from: give -o")
        with spooled_stdin(".kst") as spooled:
            return _decompress(args, spooled, DASH)
    return _decompress(args, args.input, args.input)


def _decompress(args: argparse.Namespace, source: Path, named: Path) -> None:
    progress = Progress(args.quiet, args.progress)
    kind = source_kind(source)
    several = args.array is None and (args.output is None
                                      or args.output.suffix.lower() in PART_WRITERS)
    # Every array where they may go back into one file (an EDF file's rates), else the one
    parts = kind.read_every(source, args.rate) if several else \
        [kind.read(source, args.array, args.rate)]
    target = args.output or source.with_suffix(default_output_suffix(parts[0]))
    if len(parts) > 1 and target.suffix.lower() not in PART_WRITERS:
        parts = [kind.read(source, None, args.rate)]  # the default one, or the kind's refusal
    parts = [select(str(named), p, args.channels, args.start, args.end) for p in parts]
    if target == DASH:  # written as it comes: WAV for a WAV source, else raw float32
        with progress.bar(parts[0].samples, named.name) as tick:
            write_output(stdout_name(parts[0].source_format), STDOUT,
                         parts[0].counted(tick))
        return
    check_output_kind(target)
    with replacing(target, args.force) as partial, \
            progress.bar(sum(p.samples for p in parts), named.name) as tick:
        if len(parts) > 1:
            PART_WRITERS[target.suffix.lower()](target, partial, [p.counted(tick) for p in parts])
        else:
            write_output(target, partial, parts[0].counted(tick))
    progress.done(f"{named} -> {target}: {', '.join(_shape(p) for p in parts)}")


def _shape(recording: Recording) -> str:
    if recording.shape is not None:
        return f"shape {' x '.join(map(str, recording.shape))}"
    if recording.one_dimensional:
        return f"{recording.length} samples"
    return f"{recording.channels} channels x {recording.length} samples"


def info(args: argparse.Namespace) -> None:
    def one(path: Path) -> None:
        lines = source_kind(path).describe(path)
        print(printable(str(path)))
        for line in lines:
            print(f"  {printable(line)}")
        sys.stdout.flush()

    _each(args.inputs, one)
