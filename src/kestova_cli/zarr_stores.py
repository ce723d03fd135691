"""Any zarr v3 store on disk whose arrays use the Kestova serializer, as zarr, xarray, Dask or
this command write them: a bare array, or a group holding arrays (in subgroups too). The store's
metadata is read as JSON, so a store with foreign or unknown codecs is described in the
command's own words; zarr itself reads only the chosen array's chunks."""

from __future__ import annotations

import json
import math
import warnings
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any, Callable, Iterator, Optional

import numpy as np

from kestova_codecs.dtypes import check_dtype

from .errors import UserError
from .extras import install_hint
from .memory import DECODE_PEAK_FACTOR, require_fits
from .record import KEPT_PREFIXES, SOURCE_FORMATS
from .recording import SAMPLE_TYPES, Recording, from_reconstruction, in_memory, numpy_type

ROWS_AT_ONCE = 8  # rows of chunks zarr is given at once: enough to keep its threads busy

CODEC = "kestova"
INSTALL_HINT = install_hint("zarr")


@dataclass
class StoredArray:
    name: str  # path within the store, "" for a bare array
    folder: Path
    metadata: dict[str, Any]
    codecs: list[str] = field(default_factory=list)  # every codec name, sharding's inner too

    @property
    def kestova_settings(self) -> Optional[dict[str, Any]]:
        found = _find_codec(self.metadata.get("codecs"))
        if found is None:
            return None
        configuration = found.get("configuration")
        return dict(configuration) if isinstance(configuration, dict) else {}

    @property
    def label(self) -> str:
        return f"'{self.name}'" if self.name else "(the store's root)"

    @property
    def shape(self) -> tuple[int, ...]:
        return self._sizes(self.metadata.get("shape"), "shape")

    @property
    def chunks(self) -> tuple[int, ...]:
        grid = self.metadata.get("chunk_grid")
        configuration = grid.get("configuration") if isinstance(grid, dict) else None
        sizes = configuration.get("chunk_shape") if isinstance(configuration, dict) else None
        return self._sizes(sizes, "chunk shape")

    def _sizes(self, value: Any, what: str) -> tuple[int, ...]:
        if not (isinstance(value, list)
                and all(type(v) is int and v >= 0 for v in value)):
            raise UserError(f"{self.folder / 'zarr.json'}: the array's {what} is not a list of "
                            f"sizes")
        return tuple(value)

    @property
    def dtype(self) -> str:
        return str(self.metadata.get("data_type"))

    @property
    def attributes(self) -> dict[str, Any]:
        attributes = self.metadata.get("attributes")
        return attributes if isinstance(attributes, dict) else {}


def is_store(path: Path) -> bool:
    return path.is_dir() and (path / "zarr.json").is_file()


def find_arrays(path: Path) -> list[StoredArray]:
    """Every array of the store at `path`, in name order."""
    arrays = []
    for meta in sorted(path.rglob("zarr.json")):
        try:
            node = json.loads(meta.read_bytes())
        except (OSError, ValueError, RecursionError):
            raise UserError(f"{meta}: not a readable zarr metadata file") from None
        if not isinstance(node, dict):
            raise UserError(f"{meta}: not a zarr metadata file")
        if node.get("zarr_format") != 3:
            raise UserError(f"{path}: not a zarr v3 store (zarr_format "
                            f"{node.get('zarr_format')!r} in {meta.relative_to(path)})")
        if node.get("node_type") == "array":
            folder = meta.parent
            name = folder.relative_to(path).as_posix()
            arrays.append(StoredArray("" if name == "." else name, folder, node,
                                      _codec_names(node.get("codecs"))))
    return arrays


def kestova_arrays(path: Path) -> list[StoredArray]:
    """The store's Kestova arrays; a one-line refusal, naming the codecs found, if none."""
    arrays = find_arrays(path)
    chosen = [a for a in arrays if a.kestova_settings is not None]
    if not chosen:
        found = sorted({c for a in arrays for c in a.codecs})
        raise UserError(f"{path}: no array in this zarr store uses the Kestova codec (codecs "
                        f"found: {', '.join(found) or 'none'})")
    return chosen


def choose_array(path: Path, name: Optional[str]) -> StoredArray:
    arrays = kestova_arrays(path)
    names = ", ".join(a.name or "(root)" for a in arrays)
    if name is None:
        if len(arrays) > 1:
            raise UserError(f"{path}: holds several Kestova arrays ({names}); choose one with "
                            f"--array NAME")
        return arrays[0]
    for array in arrays:
        if array.name == name.strip("/"):
            return array
    for array in find_arrays(path):
        if array.name == name.strip("/"):
            raise UserError(f"{path}: array '{name}' is not stored with Kestova (codecs: "
                            f"{', '.join(array.codecs) or 'none'}); Kestova arrays: {names}")
    raise UserError(f"{path}: no Kestova array named '{name}' (Kestova arrays: {names})")


def _walk_codecs(codecs: Any) -> Iterator[dict[str, Any]]:
    """Every codec entry of a codecs list, those inside a sharding codec too."""
    for codec in codecs if isinstance(codecs, list) else []:
        if isinstance(codec, dict):
            yield codec
            configuration = codec.get("configuration")
            if isinstance(configuration, dict):
                yield from _walk_codecs(configuration.get("codecs"))


def _find_codec(codecs: Any) -> Optional[dict[str, Any]]:
    return next((c for c in _walk_codecs(codecs) if c.get("name") == CODEC), None)


def _codec_names(codecs: Any) -> list[str]:
    return [str(c.get("name")) for c in _walk_codecs(codecs)]


def _zarr() -> Any:
    try:
        import zarr
    except ImportError:
        raise UserError(f"zarr stores need zarr; {INSTALL_HINT}") from None
    return zarr


def read_array(path: Path, array: StoredArray, rate: Optional[int]) -> Recording:
    """The samples of `array`, decoded one block of chunks at a time as they are read, in the
    source's sample type and rate where the command recorded them; `rate` (the user's --rate)
    wins over a recorded one. A 1-D array is one signal, a 2-D one channel x time."""
    zarr = _zarr()
    where = f"{path}: array {array.label}"
    try:
        dtype = check_dtype(array.dtype)
    except (TypeError, ValueError, KeyError):
        raise UserError(f"{where}: unsupported data type {array.dtype}") from None
    shape, chunks = array.shape, array.chunks
    planar = len(shape) in (1, 2) and len(chunks) == len(shape)
    rows = shape[0] if len(shape) == 2 else 1
    # zarr decodes each chunk whole, also where the array's edge cuts it: a block of whole
    # chunks along time, every row, unless the array is read whole.
    if planar:
        block = -(-rows // chunks[0]) * math.prod(chunks) if len(shape) == 2 else chunks[0]
    else:
        block = math.prod(shape) + math.prod(chunks)
    require_fits(str(path), f"array {array.label} holds {math.prod(shape)} values",
                 (block + (chunks[-1] if chunks else 0)) * max(dtype.itemsize, 4)
                 * DECODE_PEAK_FACTOR)
    opened = _decoding(where, lambda: zarr.open_array(str(array.folder), mode="r"))
    attributes = array.attributes
    sample_type = attributes.get("source_dtype", dtype.name)
    if sample_type not in SAMPLE_TYPES:
        sample_type = dtype.name
    recorded_rate = attributes.get("sample_rate")
    if not (isinstance(recorded_rate, int) and recorded_rate > 0):
        recorded_rate = None
    source = attributes.get("source_format", "npy")
    kept = {k: v for k, v in attributes.items() if k.startswith(KEPT_PREFIXES)}
    common = dict(sample_type=sample_type, rate=rate or recorded_rate,
                  source_format=source if source in SOURCE_FORMATS else "npy", attributes=kept)
    if not planar:  # more dimensions: read whole, kept in memory with its shape
        data = _decoding(where, lambda: opened[...])
        samples = from_reconstruction(data.reshape(-1, shape[-1] if shape else 1), sample_type)
        return in_memory(samples, one_dimensional=False, shape=shape, **common)

    def read(start: int, end: int) -> np.ndarray:
        if len(shape) == 1:
            return from_reconstruction(_decoding(where, lambda: opened[start:end]),
                                       sample_type).reshape(1, -1)
        block = np.empty((rows, end - start), numpy_type(sample_type))
        step = max(chunks[0], ROWS_AT_ONCE)  # a few rows at a time, as zarr decodes them
        for row in range(0, rows, step):
            part = _decoding(where, lambda: opened[row:row + step, start:end])
            block[row:row + step] = from_reconstruction(part, sample_type)
        return block

    def read_rows(chosen: list[int], start: int, end: int) -> np.ndarray:
        return np.stack([from_reconstruction(
            _decoding(where, lambda: opened[row, start:end]), sample_type) for row in chosen])

    return Recording(rows, shape[-1], read_frames=read, one_dimensional=len(shape) == 1,
                     block_frames=max(chunks[-1], 1), read_rows=read_rows if len(shape) == 2
                     else None, **common)


def _decoding(where: str, work: Callable[[], Any]) -> Any:
    """`work()`, zarr's failures and the codec's refusals told in one line naming `where`."""
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            return work()
    except MemoryError:
        raise UserError(f"{where}: does not fit in memory") from None
    except Exception as error:
        if isinstance(error, RuntimeError) and "can't start new thread" in str(error):
            raise UserError(f"{where}: out of memory for zarr's threads") from None
        if isinstance(error, ValueError) and _raised_by_kestova_codecs(error):
            raise UserError(f"{where}: {error}") from None  # the codec's refusal of a chunk
        # zarr's own failures, told in the command's words
        raise UserError(f"{where} cannot be read: zarr refuses its metadata or chunks "
                        f"({type(error).__name__})") from None


def _raised_by_kestova_codecs(error: BaseException) -> bool:
    """Whether `error` was raised in the kestova_codecs package (its messages are Kestova's)."""
    frame = error.__traceback__
    while frame is not None and frame.tb_next is not None:
        frame = frame.tb_next
    return frame is not None and "kestova_codecs" in Path(frame.tb_frame.f_code.co_filename).parts


def stored_bytes(folder: Path) -> int:
    """The bytes of every file under `folder`, metadata included."""
    return sum(f.stat().st_size for f in folder.rglob("*") if f.is_file())

