"""The three subcommands: compress, decompress and info."""

from __future__ import annotations

import argparse
from pathlib import Path

import kestova

from . import hdf5_file, store
from .atomic import replacing
from .container import describe, read_container
from .encode import encode_signal
from .errors import UserError
from .inputs import read_input
from .outputs import check_output_kind, write_output
from .progress import Progress
from .recording import Recording, require_finite


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
            if args.rate is not None:
                raise UserError(f"{path}: a .kst file holds samples only, no sample rate; "
                                f"drop --rate")
            stream = encode_signal(recording.samples[0], settings)
            with replacing(target, args.force) as partial:
                partial.write_bytes(stream)
            written = len(stream)
        else:
            with replacing(target, args.force) as partial:
                store.write_store(partial, recording, settings, progress.step)
            written = store.stored_bytes(target)
        progress.done(f"{path} -> {target}: {_shape(recording)}, "
                      f"ratio {recording.samples.size * 4 / written:.2f} against float32")


def decompress(args: argparse.Namespace) -> None:
    source: Path = args.input
    if args.dataset is not None and not hdf5_file.is_hdf5_file(source):
        raise UserError(f"{source}: --dataset names a dataset of an HDF5 file")
    if hdf5_file.is_hdf5_file(source):
        recording = hdf5_file.read_hdf5(source, args.dataset)
    elif store.is_store(source):
        recording = store.read_store(source)
    elif source.suffix.lower() == ".kst":
        _, data = read_container(source)
        try:
            values = kestova.decompress_signal(data)
        except ValueError as error:
            raise UserError(f"{source}: {error}") from None
        recording = Recording(values.reshape(1, -1), "float32", None, "kst",
                              one_dimensional=True)
    else:
        raise UserError(f"{source}: expected a .kst file or a Kestova zarr store")
    if args.rate is not None:
        if recording.rate not in (None, args.rate):
            raise UserError(f"{source}: the store records {recording.rate} Hz; drop --rate")
        recording.rate = args.rate
    target = args.output or source.with_suffix(".wav" if recording.source_format == "wav"
                                               else ".npy")
    check_output_kind(target)
    with replacing(target, args.force) as partial:
        write_output(target, partial, recording)
    Progress(args.quiet).done(f"{source} -> {target}: {_shape(recording)}")


def _shape(recording: Recording) -> str:
    if recording.one_dimensional:
        return f"{recording.length} samples"
    return f"{recording.channels} channels x {recording.length} samples"


def info(args: argparse.Namespace) -> None:
    for path in args.inputs:
        if hdf5_file.is_hdf5_file(path):
            lines = hdf5_file.describe_hdf5(path, args.dataset)
        elif args.dataset is not None:
            raise UserError(f"{path}: --dataset names a dataset of an HDF5 file")
        elif store.is_store(path):
            lines = store.describe_store(path)
        elif path.is_file():
            header, _ = read_container(path)
            lines = describe(header)
        else:
            raise UserError(f"{path}: no such file or store")
        print(path)
        for line in lines:
            print(f"  {line}")
