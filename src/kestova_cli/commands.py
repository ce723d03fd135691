"""The three subcommands: compress, decompress and info."""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

from .atomic import replacing
from .errors import UserError
from .inputs import read_input
from .outputs import check_output_kind, write_output
from .progress import Progress
from .recording import Recording, require_finite
from .sources import source_kind
from .targets import TARGETS, default_suffix
from .text import printable
from .zarr_stores import stored_bytes


def compress(args: argparse.Namespace) -> None:
    if args.output is not None and len(args.inputs) > 1:
        raise UserError("-o names one output: give one input with it")
    settings = {"method": args.method, "scale": args.scale, "cutoff": args.cutoff,
                "coder": args.coder, "max_error": args.max_error, "relative": not args.absolute,
                "encoder": args.encoder}
    progress = Progress(args.quiet)
    for path in args.inputs:
        recording = read_input(path, args.rate)
        require_finite(str(path), recording.samples)
        target_path = args.output or path.with_suffix(default_suffix(recording))
        target = TARGETS.get(target_path.suffix.lower())
        if target is None or not target.takes(recording):
            takes = [s for s, t in TARGETS.items() if t.takes(recording)]
            raise UserError(f"{target_path}: {_kind(recording)} is written to a "
                            f"{' or '.join(takes)} output")
        with replacing(target_path, args.force) as partial:
            target.write(partial, recording, settings, progress.step, str(path))
        written = stored_bytes(target_path) if target_path.is_dir() else \
            target_path.stat().st_size
        progress.done(f"{path} -> {target_path}: {_shape(recording)}, "
                      f"ratio {recording.samples.size * 4 / written:.2f} against float32")


def _kind(recording: Recording) -> str:
    return "a 1-D signal" if recording.one_dimensional else "a multichannel recording"


def decompress(args: argparse.Namespace) -> None:
    source: Path = args.input
    recording = source_kind(source).read(source, args.array, args.rate)
    target = args.output or source.with_suffix(".wav" if recording.source_format == "wav"
                                               else ".npy")
    check_output_kind(target)
    with replacing(target, args.force) as partial:
        write_output(target, partial, recording)
    Progress(args.quiet).done(f"{source} -> {target}: {_shape(recording)}")


def _shape(recording: Recording) -> str:
    if recording.one_dimensional:
        return f"{recording.length} samples"
    if recording.samples.ndim == 2:
        return f"{recording.channels} channels x {recording.length} samples"
    return f"shape {' x '.join(map(str, recording.samples.shape))}"


def info(args: argparse.Namespace) -> None:
    for path in args.inputs:
        lines = source_kind(path).describe(path)
        print(printable(str(path)))
        for line in lines:
            print(f"  {printable(line)}")
        sys.stdout.flush()
