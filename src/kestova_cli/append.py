"""`compress --append STORE`: a recording added to the end of a store's time axis, with the
store's own settings, as a store written by the command lays it out (channel x time, or one
signal, in chunks of one row by CHUNK samples).

The store's promise is that every sample decodes within its bound of the original. New samples
get it from the encoder, as in any chunk. The samples already in a partly filled last chunk are
known only as they decode, so they may be re-encoded together with the new ones only where that
gives back exactly what the store held: the rewritten chunk is decoded again and compared, and
if it differs the append is refused. Integer samples get further tries that give each value
back exactly: version 1 at a bound below half a step (reached where the range is narrow), then
a lossless version-2 chunk (which a reader of version 1 only cannot decode); that one chunk is
larger. Float samples under a lossy setting are refused: their store needs a length that is a
whole number of chunks.

Nothing is changed that a reader of the old length sees, until the last step makes the new length
visible: in a zarr store new chunk files are written beyond the old shape, a rewritten last chunk
(identical to readers) replaces the old one by rename, and the array's metadata is replaced by
rename last; a failure or Ctrl-C removes the new files and puts the old chunk back. An HDF5
dataset cannot grow beyond the shape it was made with, so the file is written again beside the
old one (old chunks copied as they are stored, without decoding) and renamed over it at the end."""

from __future__ import annotations

import dataclasses
import json
import os
import shutil
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Callable, Iterator, Optional

import numpy as np

from .atomic import replacing
from .errors import UserError
from .interrupts import held_interrupts
from .recording import Recording, numpy_type, require_finite

# An absolute bound below half a step: each integer decodes, rounded, back to itself.
EXACT_INTEGER_BOUND = 0.49
DEFAULT_CHUNK_KEYS = {"name": "default", "configuration": {"separator": "/"}}

# (channel row, chunk index along time) -> the chunk's stored container
OldChunk = Callable[[int, int], bytes]


@dataclass
class Stored:
    """What an append needs to know of the stored array."""
    rows: int
    length: int  # frames
    chunk: int  # frames per chunk
    dtype: np.dtype[Any]
    settings: Any  # kestova_codecs.settings.Settings
    attributes: dict[str, Any]


def given_settings(args: Any) -> dict[str, Any]:
    """The settings the command line gives (those that differ from the defaults), by the
    codecs' names, to compare with the store's."""
    from kestova_codecs import tables

    defaults = tables.DEFAULTS
    given = {"method": (args.method, defaults["method"]), "scale": (args.scale, defaults["scale"]),
             "cutoff": (args.cutoff, defaults["cutoff"]), "coder": (args.coder, defaults["coder"]),
             "encoder": (args.encoder, tables.DEFAULT_ENCODER), "format": (args.format, 1),
             "max_error": (args.max_error, None), "relative": (not args.absolute, True),
             "psnr": (args.psnr, None)}
    chosen = {name: value for name, (value, default) in given.items() if value != default}
    if args.max_error is not None:  # a bound is relative or absolute: both are compared
        chosen["relative"] = not args.absolute
    return chosen


def append_to(store: Path, recordings: list[Recording], given: dict[str, Any], source: str,
              tick: Callable[[int], None]) -> None:
    """Appends the one recording of `recordings` to the zarr store or HDF5 file `store`."""
    from .hdf5_file import is_hdf5_file
    from .zarr_stores import is_store

    if len(recordings) > 1:
        raise UserError(f"{source}: holds {len(recordings)} recordings at different rates; an "
                        f"append takes one")
    recording = recordings[0].counted(tick)
    if is_store(store):
        append_zarr(store, recording, given, source)
    elif is_hdf5_file(store):
        append_hdf5(store, recording, given, source)
    elif not store.exists():
        raise UserError(f"{store}: no such store to append to")
    else:
        raise UserError(f"{store}: an append extends a zarr store or an HDF5 file written by "
                        f"the command (a .kst file holds one stream: compress both together)")


def check_compatible(store: Path, stored: Stored, recording: Recording,
                     given: dict[str, Any]) -> None:
    """Refuses, in one line, a recording or settings that differ from the store's."""
    attributes = stored.attributes
    recorded_type = attributes.get("source_dtype", stored.dtype.name)
    rate = attributes.get("sample_rate")
    differences = [
        (recording.channels != stored.rows,
         f"{recording.channels} channels, the store {stored.rows}"),
        (recording.sample_type != recorded_type,
         f"{recording.sample_type} samples, the store {recorded_type}"),
        (numpy_type(recording.sample_type) != stored.dtype,
         f"{recording.sample_type} samples, the store's array {stored.dtype}"),
        (rate is not None and recording.rate is not None and recording.rate != rate,
         f"{recording.rate} Hz, the store {rate} Hz"),
    ]
    for differs, what in differences:
        if differs:
            raise UserError(f"{store}: cannot append a recording of {what}")
    settings = dataclasses.asdict(stored.settings)
    for name, value in given.items():
        if settings.get(name) != value:
            raise UserError(f"{store}: the store's {name} is {settings.get(name)}, not "
                            f"{value}; an append keeps the store's settings (leave the option "
                            f"out)")


def appended_chunks(source: str, store: Path, stored: Stored, recording: Recording,
                    old_chunk: OldChunk) -> Iterator[tuple[int, int, bytes]]:
    """(row, chunk index, container) of every chunk the append writes: first the rewritten
    last chunk of each row when the store's length ends inside one, then the new chunks, one
    block of chunks along time at a time (the rows of a block encoded in parallel)."""
    from kestova_codecs import chunk as chunks

    size, kept, index = stored.chunk, stored.length % stored.chunk, stored.length // stored.chunk
    start = 0
    if kept:
        take = min(size - kept, recording.length)
        block = recording.read_frames(0, take)
        require_finite(source, block, 0)
        for row in range(stored.rows):
            try:
                old = chunks.decode(old_chunk(row, index), stored.dtype, size, "trailing_nan")
            except ValueError as error:  # a damaged chunk: nothing to rewrite it from
                raise UserError(f"{store}: its last chunk cannot be decoded ({error})") from None
            yield row, index, exact_last_chunk(store, stored, old, kept, block[row])
        start, index = take, index + 1

    def encode(values: np.ndarray) -> bytes:
        padded = np.zeros(size, stored.dtype)
        padded[:values.size] = values
        return chunks.encode(padded, stored.settings, omit_trailing_nan=True)

    with ThreadPoolExecutor(max_workers=os.cpu_count() or 1) as pool:
        for first in range(start, recording.length, size):
            block = recording.read_frames(first, min(first + size, recording.length))
            require_finite(source, block, first)
            try:
                encoded = list(pool.map(encode, block))
            except ValueError as error:  # the codec's refusal, e.g. an unreachable bound
                raise UserError(f"{source}: samples from {first}: {error}") from None
            for row, data in enumerate(encoded):
                yield row, index, data
            index += 1


def exact_last_chunk(store: Path, stored: Stored, old: np.ndarray, kept: int,
                     new: np.ndarray) -> bytes:
    """The last chunk holding its `kept` old decoded samples and the `new` ones after them, as a
    container that decodes to those old samples exactly; else a refusal."""
    from kestova_codecs import chunk as chunks
    from kestova_codecs.settings import Settings

    values = np.zeros(stored.chunk, stored.dtype)
    values[:kept] = old[:kept]
    values[kept:kept + new.size] = new
    settings = stored.settings
    candidates = [settings]
    if stored.dtype.kind in "iu":  # integers can be given back exactly
        if settings.format == 1:  # a narrow range reaches it in version 1
            candidates.append(dataclasses.replace(settings, max_error=EXACT_INTEGER_BOUND,
                                                  relative=False))
        candidates.append(Settings(format=2))  # lossless for integers
    for candidate in candidates:
        try:
            data = chunks.encode(values, candidate, omit_trailing_nan=True)
        except ValueError:
            continue
        back = chunks.decode(data, stored.dtype, stored.chunk, "trailing_nan")
        # the store's settings bound the new samples as in any chunk; an exact setting must
        # give them back exactly too
        end = kept if candidate is settings else kept + new.size
        if np.array_equal(back[:end], values[:end]):
            return data
    raise UserError(f"{store}: its last chunk holds {kept} of {stored.chunk} samples, and "
                    f"{stored.dtype} samples re-encoded with the new ones would not come back "
                    f"exactly, so they could drift past the store's bound; append to a store "
                    f"whose length is a whole number of chunks, or write a store of its own")


def append_zarr(store: Path, recording: Recording, given: dict[str, Any], source: str) -> None:
    from kestova_codecs import chunk as chunks
    from kestova_codecs.dtypes import check_dtype
    from kestova_codecs.settings import Settings

    from .zarr_stores import choose_array, find_arrays

    array = choose_array(store, None)
    metadata = array.metadata
    shape, grid = array.shape, array.chunks
    layout_ok = (len(shape) == 1 and len(grid) == 1) or (len(shape) == 2 and grid[0] == 1)
    root = json.loads((store / "zarr.json").read_bytes())
    if not layout_ok or array.codecs != ["kestova"] or metadata.get("fill_value") != 0 or \
            metadata.get("chunk_key_encoding") != DEFAULT_CHUNK_KEYS or \
            root.get("consolidated_metadata") or len(find_arrays(store)) > 1:
        raise UserError(f"{store}: an append extends a store laid out as the command writes "
                        f"it (one array, chunks of one row, no other codec)")
    try:
        dtype = check_dtype(array.dtype)
        settings = Settings.from_config(array.kestova_settings or {})
    except (TypeError, ValueError, KeyError) as error:
        raise UserError(f"{store}: array {array.label}: {error}") from None
    stored = Stored(1 if len(shape) == 1 else shape[0], shape[-1], grid[-1], dtype, settings,
                    array.attributes)
    check_compatible(store, stored, recording, given)

    def key(row: int, index: int) -> Path:
        return array.folder / "c" / (f"{row}/{index}" if len(shape) == 2 else str(index))

    def old_chunk(row: int, index: int) -> bytes:
        try:
            return key(row, index).read_bytes()
        except FileNotFoundError:  # never written: zarr leaves out chunks of the fill value
            return chunks.encode(np.zeros(stored.chunk, dtype), settings)

    for left in _beyond_shape(array.folder / "c", shape, stored.chunk):
        left.unlink()  # what an append killed outright wrote: it must not show once we grow
    written: list[Path] = []
    replaced: dict[Path, Optional[bytes]] = {}  # rewritten chunks and what they held
    try:
        for row, index, data in appended_chunks(source, store, stored, recording, old_chunk):
            path = key(row, index)
            with held_interrupts():
                if index * stored.chunk < stored.length:  # visible now: replaced by rename
                    replaced[path] = path.read_bytes() if path.exists() else None
                    _replace_file(path, data)
                else:
                    path.parent.mkdir(parents=True, exist_ok=True)
                    written.append(path)
                    path.write_bytes(data)
        metadata = dict(metadata, shape=[*shape[:-1], stored.length + recording.length])
        with held_interrupts():
            _replace_file(array.folder / "zarr.json", json.dumps(metadata, indent=2).encode())
    except BaseException:
        for path in written:
            path.unlink(missing_ok=True)
        for path, old in replaced.items():
            if old is None:
                path.unlink(missing_ok=True)
            else:
                _replace_file(path, old)
        raise


def _beyond_shape(chunks: Path, shape: tuple[int, ...], size: int) -> list[Path]:
    """The chunk files of a store's `chunks` folder past its shape along time."""
    used = -(-shape[-1] // size)
    folders = [chunks / str(row) for row in range(shape[0])] if len(shape) == 2 else [chunks]
    return [path for folder in folders if folder.is_dir() for path in folder.iterdir()
            if path.name.isdigit() and int(path.name) >= used and path.is_file()]


def _replace_file(path: Path, data: bytes) -> None:
    """Writes `path` whole or not at all: beside it, then renamed over it."""
    partial = path.with_name(f".{path.name}.{os.getpid()}.partial")
    try:
        partial.write_bytes(data)
        os.replace(partial, path)
    finally:
        partial.unlink(missing_ok=True)


def append_hdf5(store: Path, recording: Recording, given: dict[str, Any], source: str) -> None:
    from kestova_codecs.settings import Settings

    from .hdf5_file import _datasets, _modules, nwb_series

    h5py, hdf5 = _modules()
    try:
        old_file = h5py.File(store, "r")
    except OSError as error:
        raise UserError(f"{store}: not a readable HDF5 file ({error})") from None
    with old_file:
        datasets = _datasets(store, old_file, h5py, hdf5, None)
        dataset = datasets[0]
        if len(datasets) > 1 or dataset.ndim != 2 or dataset.chunks[0] != 1 or \
                dataset.parent.name != "/" or nwb_series(dataset) is not None:
            raise UserError(f"{store}: an append extends a file laid out as the command writes "
                            f"it (one dataset, channel x time, chunks of one row)")
        recorded = dict(hdf5.settings_of(dataset))
        recorded.pop("dtype", None)
        recorded.pop("chunk_elements", None)
        stored = Stored(dataset.shape[0], dataset.shape[1], dataset.chunks[1], dataset.dtype,
                        Settings(**recorded), dict(dataset.attrs))
        check_compatible(store, stored, recording, given)

        def old_chunk(row: int, index: int) -> bytes:
            mask, data = dataset.id.read_direct_chunk((row, index * stored.chunk))
            if mask:
                raise UserError(f"{store}: a chunk of {dataset.name} is stored without the "
                                f"Kestova filter")
            return bytes(data)

        with replacing(store, force=True) as partial, h5py.File(partial, "w") as new_file:
            for name, value in old_file.attrs.items():
                new_file.attrs[name] = value
            for name in old_file:
                if name != dataset.name.lstrip("/"):
                    old_file.copy(old_file[name], new_file, name=name)
            length = stored.length + recording.length
            space = h5py.h5s.create_simple((stored.rows, length), (stored.rows, length))
            grown = h5py.Dataset(h5py.h5d.create(new_file.id, dataset.name.encode(),
                                                 dataset.id.get_type(), space,
                                                 dcpl=dataset.id.get_create_plist()))
            for name, value in dataset.attrs.items():
                grown.attrs[name] = value
            whole = stored.length // stored.chunk  # chunks copied as they are stored
            for row in range(stored.rows):
                for index in range(whole):
                    grown.id.write_direct_chunk((row, index * stored.chunk),
                                                old_chunk(row, index))
            for row, index, data in appended_chunks(source, store, stored, recording,
                                                    old_chunk):
                grown.id.write_direct_chunk((row, index * stored.chunk), data)
            shutil.copymode(store, partial)  # the file keeps who may read and write it
