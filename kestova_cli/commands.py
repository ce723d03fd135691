"""The three subcommands: compress, decompress and info."""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

from . import hdf5_file, store
from .atomic import replacing
from .encode import encode_signal
from .errors import UserError
from .inputs import read_input
from .kst_file import kst_bytes
from .outputs import check_output_kind, write_output
from .progress import Progress
from .record import Record
from .recording import Recording, require_finite
from .sources import source_kind
from .text import printable
from .zarr_stores import stored_bytes


def compress(args: argparse.Namespace) -> None:
    if args.output is not None and len(args.inputs) > 1:
        raise UserError("-o names one output: give one input with it")
    settings = {"method": args.method, "scale": args.scale, "cutoff": args.cutoff,
                "coder": args.coder, "max_error": args.max_error, "relative": not args.absolute}
    progress = Progress(args.quiet)
    for path in args.inputs:
        recording = read_input(path, args.rate)
        require_finite(str(path), recording.samples)
        suffix = ".kst" if recording.one_dimensional else ".zarr"
        target = args.output or path.with_suffix(suffix)
        if hdf5_file.is_hdf5_name(target):
            with replacing(target, args.force) as partial:
                hdf5_file.write_hdf5(partial, recording, settings, progress.step)
            progress.done(f"{path} -> {target}: {_shape(recording)}, ratio "
                          f"{recording.samples.size * 4 / target.stat().st_size:.2f} "
                          f"against float32")
            continue
        if target.suffix.lower() != suffix:
            kind = "a 1-D signal" if recording.one_dimensional else "a multichannel recording"
            raise UserError(f"{target}: {kind} is written to a {suffix} output")
        if recording.one_dimensional:
            stream = encode_signal(str(path), recording.samples[0], settings)
            record = Record(recording.sample_type, recording.rate, recording.source_format)
            with replacing(target, args.force) as partial:
                partial.write_bytes(kst_bytes(stream, record))
            written = target.stat().st_size
        else:
            with replacing(target, args.force) as partial:
                store.write_store(partial, recording, settings, progress.step)
            written = stored_bytes(target)
        progress.done(f"{path} -> {target}: {_shape(recording)}, "
                      f"ratio {recording.samples.size * 4 / written:.2f} against float32")


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
