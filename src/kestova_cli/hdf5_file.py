"""Recordings in HDF5 files: one dataset "signal" (channel x time) through the Kestova HDF5
filter, chunks of one channel by about a million samples, the sample rate and the source's
sample type as attributes; and reading any HDF5 dataset that uses the filter."""

from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path
from typing import Any, Optional

import numpy as np

from .errors import UserError
from .extras import install_hint
from .memory import DECODE_PEAK_FACTOR, require_fits
from .record import KEPT_PREFIXES, SOURCE_FORMATS, kept_lines
from .recording import (SAMPLE_TYPES, Recording, from_reconstruction, numpy_type,
                        require_finite)

SUFFIXES = (".h5", ".hdf5")
DATASET = "signal"
CHUNK_SAMPLES = 1 << 20  # along time; each chunk is compressed on its own
SIGNATURE = b"\x89HDF\r\n\x1a\n"
INSTALL_HINT = install_hint("hdf5")


def _modules() -> tuple[Any, Any]:
    """h5py and kestova_codecs.hdf5 (which registers the filter), or a one-line error."""
    try:
        import h5py  # type: ignore[import-untyped,unused-ignore]
    except ImportError:
        raise UserError(f"HDF5 files need h5py; {INSTALL_HINT}") from None
    from kestova_codecs import hdf5

    return h5py, hdf5


def encode_chunk(values: np.ndarray, settings: Any) -> bytes:
    from kestova_codecs import chunk

    return chunk.encode(values, settings)


def is_hdf5_file(path: Path) -> bool:
    """True for an existing file that starts with HDF5's signature (no user block)."""
    try:
        with open(path, "rb") as file:
            return file.read(len(SIGNATURE)) == SIGNATURE
    except OSError:
        return False


def write_hdf5(path: Path, recording: Recording, settings: dict[str, Any], source: str,
               first: bool = True) -> None:
    """Writes `recording` (from the file named `source`) as dataset "signal" of a new HDF5 file,
    one block of chunks at a time."""
    h5py, hdf5 = _modules()
    try:
        kestova_filter = hdf5.KestovaFilter(**settings)
    except ValueError as error:
        raise UserError(str(error)) from None
    length = min(recording.length, CHUNK_SAMPLES)
    dtype = numpy_type(recording.sample_type)
    with h5py.File(path, "w" if first else "a") as file:
        dataset = hdf5.create_mandatory_dataset(
            file, recording.name or DATASET, shape=(recording.channels, recording.length), dtype=dtype,
            chunks=(1, length), filter=kestova_filter, fillvalue=0)
        attributes = {"source_dtype": recording.sample_type,
                      "source_format": recording.source_format, "channels": recording.channels,
                      **recording.attributes}
        if recording.rate is not None:
            attributes["sample_rate"] = recording.rate
        dataset.attrs.update(attributes)
        # Each chunk is encoded here, as the filter would encode it (a partial last chunk padded
        # with the fill value), and stored as it is: a refusal (an error bound out of reach)
        # raises before HDF5 holds a chunk it cannot write, which HDF5 2.0 may crash on.
        values = np.zeros(length, dtype)
        for start, block in recording.blocks(length):
            require_finite(source, block, start)
            for channel in range(recording.channels):
                values[block.shape[1]:] = 0
                values[:block.shape[1]] = block[channel]
                try:
                    container = encode_chunk(values, kestova_filter.settings)
                except ValueError as error:
                    raise UserError(f"{source}: channel {channel}, samples from {start}: "
                                    f"{error}") from None
                dataset.id.write_direct_chunk((channel, start), container)


def _filtered_datasets(file: Any, h5py: Any, filter_id: int) -> list[str]:
    """The names of the file's datasets that use the Kestova filter."""
    names: list[str] = []

    def visit(name: str, item: Any) -> None:
        if isinstance(item, h5py.Dataset) and filter_id in _filter_ids(item):
            names.append(name)

    file.visititems(visit)
    return names


def _filter_ids(dataset: Any) -> list[int]:
    plist = dataset.id.get_create_plist()
    return [plist.get_filter(i)[0] for i in range(plist.get_nfilters())]


def _datasets(path: Path, file: Any, h5py: Any, hdf5: Any, name: Optional[str]) -> list[Any]:
    """The dataset named `name`, else "signal", else every dataset using the filter."""
    if name is None and DATASET not in file:
        names = _filtered_datasets(file, h5py, hdf5.FILTER_ID)
        if not names:
            raise UserError(f"{path}: no dataset uses the Kestova filter")
        return [file[n] for n in names]
    name = name or DATASET
    item = file.get(name)
    if not isinstance(item, h5py.Dataset):
        names = _filtered_datasets(file, h5py, hdf5.FILTER_ID)
        known = f"; datasets using the Kestova filter: {', '.join(names)}" if names else ""
        raise UserError(f"{path}: no dataset {name!r}{known}")
    if hdf5.FILTER_ID not in _filter_ids(item):
        raise UserError(f"{path}: dataset {name!r} does not use the Kestova filter")
    return [item]


def _open(path: Path) -> tuple[Any, Any, Any]:
    h5py, hdf5 = _modules()
    try:
        return h5py.File(path, "r"), h5py, hdf5
    except OSError as error:
        raise UserError(f"{path}: not a readable HDF5 file ({error})") from None


def read_hdf5(path: Path, name: Optional[str], rate: Optional[int] = None) -> Recording:
    """The dataset `name` (default: "signal", else the one dataset using the filter), decoded one
    block of chunks at a time as it is read, in the source's sample type and rate where the
    command recorded them; `rate` wins. An NWB time series is time x channels, with its rate in
    the series' starting_time."""
    file, h5py, hdf5 = _open(path)
    datasets = _datasets(path, file, h5py, hdf5, name)
    if len(datasets) > 1:
        names = ", ".join(d.name.lstrip("/") for d in datasets)
        raise UserError(f"{path}: several datasets use the Kestova filter ({names}); "
                        f"choose one with --dataset")
    dataset = datasets[0]
    if dataset.ndim not in (1, 2):
        raise UserError(f"{path}: dataset {dataset.name!r} has {dataset.ndim} dimensions; "
                        f"expected a signal (1-D) or channels x time (2-D)")
    series = nwb_series(dataset)
    time_axis = 0 if series is not None or dataset.ndim == 1 else 1
    rows = 1 if dataset.ndim == 1 else dataset.shape[1 - time_axis]
    chunk = dataset.chunks[time_axis]
    # HDF5 decodes whole chunks: a block is every row's chunks over one chunk of time.
    block = -(-rows // (dataset.chunks[1 - time_axis] if dataset.ndim == 2 else 1)) \
        * int(np.prod(dataset.chunks))
    require_fits(str(path), f"dataset {dataset.name} holds {dataset.size} values",
                 2 * block * max(dataset.dtype.itemsize, 4) * DECODE_PEAK_FACTOR)
    attributes = dataset.attrs
    sample_type = str(attributes.get("source_dtype", dataset.dtype.name))
    if sample_type not in SAMPLE_TYPES:
        sample_type = dataset.dtype.name
    recorded = attributes.get("sample_rate") if series is None else series.rate
    source_format = str(attributes.get("source_format", "npy"))
    kept = {k: _plain(v) for k, v in attributes.items() if k.startswith(KEPT_PREFIXES)}

    def read(start: int, end: int) -> np.ndarray:
        where = (slice(start, end),) if dataset.ndim == 1 else \
            (slice(start, end), slice(None)) if time_axis == 0 else (slice(None), slice(start, end))
        try:
            values = dataset[where]
        except (OSError, RuntimeError) as error:  # a chunk the filter cannot decode
            raise UserError(f"{path}: dataset {dataset.name!r}: {error}") from None
        values = values.T if time_axis == 0 and dataset.ndim == 2 else values
        return from_reconstruction(values.reshape(rows, -1), sample_type)

    return Recording(rows, dataset.shape[time_axis], sample_type,
                     rate or (int(recorded) if recorded else None),
                     source_format if source_format in SOURCE_FORMATS else "npy",
                     dataset.ndim == 1, read, kept, block_frames=chunk)


@dataclass
class NwbSeries:
    rate: Optional[float]


def nwb_series(dataset: Any) -> Optional[NwbSeries]:
    """The NWB time series whose data `dataset` is (time first), or None."""
    group = dataset.parent
    kind = group.attrs.get("neurodata_type")
    if dataset.name.rsplit("/", 1)[-1] != "data" or kind is None:
        return None
    starting = group.get("starting_time")
    rate = starting.attrs.get("rate") if starting is not None else None
    return NwbSeries(float(rate) if rate is not None else None)


def _plain(value: Any) -> Any:
    """An HDF5 attribute's value as JSON-like Python: arrays become lists."""
    return value.tolist() if isinstance(value, np.ndarray) else \
        value.item() if isinstance(value, np.generic) else value


def filtered_dataset_names(path: Path) -> list[str]:
    file, h5py, hdf5 = _open(path)
    with file:
        return _filtered_datasets(file, h5py, hdf5.FILTER_ID)


def describe_hdf5(path: Path) -> list[str]:
    """The lines `info` prints: every dataset of the file that uses the filter."""
    file, h5py, hdf5 = _open(path)
    lines: list[str] = []
    with file:
        names = _filtered_datasets(file, h5py, hdf5.FILTER_ID)
        if not names:
            raise UserError(f"{path}: no dataset uses the Kestova filter")
        for dataset in (file[n] for n in names):
            lines += _describe_dataset(dataset, hdf5)
    return lines


def _describe_dataset(dataset: Any, hdf5: Any) -> list[str]:
    attributes = dataset.attrs
    settings = hdf5.settings_of(dataset)
    shown = ("format", "max_error", "relative", "psnr", "bits_per_sample") \
        if settings["format"] == 2 else \
        ("method", "scale", "cutoff", "coder", "encoder", "max_error", "relative")
    chosen = " ".join(f"{k}={settings[k]}" for k in shown)
    stored = dataset.id.get_storage_size()
    rate = attributes.get("sample_rate")
    lines = [f"dataset: {dataset.name} {dataset.dtype} "
             f"{' x '.join(map(str, dataset.shape))}, chunks {' x '.join(map(str, dataset.chunks))}",
             f"sample rate: {f'{rate} Hz' if rate is not None else 'not recorded'}",
             f"source: {attributes.get('source_format', 'unknown')}, "
             f"{attributes.get('source_dtype', dataset.dtype.name)}",
             f"filter: kestova (id {hdf5.FILTER_ID}) {chosen}",
             *[line.strip() for line in kept_lines({k: _plain(v) for k, v in attributes.items()})],
             f"stored bytes: {stored}"]
    if stored:
        lines.append(f"ratio: {dataset.size * 4 / stored:.2f} against float32 samples, "
                     f"{dataset.size * dataset.dtype.itemsize / stored:.2f} against {dataset.dtype}")
    return lines
