"""What `decompress` and `info` read: SOURCES maps an input path to the kind that reads it (a
zarr store, an HDF5 file, a .kst file); a new kind is one entry there."""

from __future__ import annotations

from dataclasses import dataclass, replace
from pathlib import Path
from typing import Callable, Optional

import numpy as np
from kestova_codecs import chunk

from . import hdf5_file, zarr_stores
from .errors import UserError
from .kst_file import describe as describe_kst
from .kst_file import read_kst
from .memory import DECODE_PEAK_FACTOR, require_fits
from .progress import working
from .recording import Recording, from_reconstruction, in_memory
from .store_info import describe as describe_store


@dataclass
class SourceKind:
    matches: Callable[[Path], bool]
    # (path, the --array name or None, the --rate or None) -> the decoded recording
    read: Callable[[Path, Optional[str], Optional[int]], Recording]
    describe: Callable[[Path], list[str]]  # the lines `info` prints
    # (path, the --rate or None) -> every Kestova array it holds, each with its name
    read_every: Callable[[Path, Optional[int]], list[Recording]]


def _read_store(path: Path, array: Optional[str], rate: Optional[int]) -> Recording:
    return zarr_stores.read_array(path, zarr_stores.choose_array(path, array), rate)


def _read_every_array(path: Path, rate: Optional[int]) -> list[Recording]:
    return [replace(zarr_stores.read_array(path, array, rate), name=array.name)
            for array in zarr_stores.kestova_arrays(path)]


def _read_every_dataset(path: Path, rate: Optional[int]) -> list[Recording]:
    return [replace(hdf5_file.read_hdf5(path, name, rate), name=name)
            for name in hdf5_file.filtered_dataset_names(path)]


def _read_kst(path: Path, array: Optional[str], rate: Optional[int]) -> Recording:
    if array is not None:
        raise UserError(f"{path}: --array chooses an array of a store; a .kst file holds one "
                        f"signal")
    kst = read_kst(path)
    kst.require_record_intact(str(path))
    samples = kst.header["samples"]
    require_fits(str(path), f"the container announces {samples} samples",
                 samples * 4 * DECODE_PEAK_FACTOR)
    # Either version, in the stream's own type (version 1: float32), decoded through the chunk
    # layer: it reads the stream where it lies, where kestova.decompress_signal takes a copy.
    dtype = str(kst.header.get("element_type", "float32"))
    try:
        with working(f"{path.name}: decoding"):
            values = chunk.decode(kst.container, dtype, samples)
    except ValueError as error:
        raise UserError(f"{path}: {error}") from None
    del kst.container
    record = kst.record
    if record is None:  # written without a record: the stream's samples (version 1: float32)
        return in_memory(values.reshape(1, -1), values.dtype.name, rate, "kst", True)
    sample_type = record.sample_type

    def read(start: int, end: int) -> np.ndarray:
        return from_reconstruction(values[start:end], sample_type).reshape(1, -1)

    return Recording(1, values.size, sample_type, rate or record.rate, record.source_format,
                     True, read, dict(record.attributes or {}))


def _describe_kst(path: Path) -> list[str]:
    return describe_kst(read_kst(path))


def _not_a_folder(path: Path) -> bool:
    return not path.is_dir()


# In order: the first kind whose `matches` accepts a path reads it; any file is tried as .kst.
SOURCES: list[SourceKind] = [
    SourceKind(zarr_stores.is_store, _read_store, describe_store, _read_every_array),
    SourceKind(hdf5_file.is_hdf5_file, hdf5_file.read_hdf5, hdf5_file.describe_hdf5,
               _read_every_dataset),
    SourceKind(_not_a_folder, _read_kst, _describe_kst,
               lambda path, rate: [_read_kst(path, None, rate)]),
]


def source_kind(path: Path) -> SourceKind:
    for kind in SOURCES:
        if kind.matches(path):
            return kind
    if (path / ".zgroup").is_file() or (path / ".zarray").is_file():
        raise UserError(f"{path}: a zarr v2 store; kestova reads zarr v3 stores")
    raise UserError(f"{path}: a folder, but not a zarr store (it has no zarr.json)")
