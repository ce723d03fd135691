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
from typing import Any, Iterator, Optional

from kestova_codecs.dtypes import check_dtype

from .errors import UserError
from .memory import DECODE_PEAK_FACTOR, require_fits
from .record import SOURCE_FORMATS
from .recording import SAMPLE_TYPES, Recording, from_reconstruction

CODEC = "kestova"
INSTALL_HINT = 'install the extra: pip install "kestova[zarr]" (in a source tree: pip install ".[zarr]")'


@dataclass
class StoredArray:
    name: str  # path within the store, "" for a bare array
    folder: Path
    metadata: dict
    codecs: list[str] = field(default_factory=list)  # every codec name, sharding's inner too

    @property
    def kestova_settings(self) -> Optional[dict]:
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
    def attributes(self) -> dict:
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


def _walk_codecs(codecs: Any) -> Iterator[dict]:
    """Every codec entry of a codecs list, those inside a sharding codec too."""
    for codec in codecs if isinstance(codecs, list) else []:
        if isinstance(codec, dict):
            yield codec
            configuration = codec.get("configuration")
            if isinstance(configuration, dict):
                yield from _walk_codecs(configuration.get("codecs"))


def _find_codec(codecs: Any) -> Optional[dict]:
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
    """The decoded samples of `array` in the source's sample type and rate where the command
    recorded them; `rate` (the user's --rate) wins over a recorded one."""
    zarr = _zarr()
    where = f"{path}: array {array.label}"
    try:
        dtype = check_dtype(array.dtype)
    except (TypeError, ValueError, KeyError):
        raise UserError(f"{where}: unsupported data type {array.dtype}") from None
    values = math.prod(array.shape)
    # zarr decodes each chunk whole, also where the array's edge cuts it.
    decoded = values + math.prod(array.chunks)
    require_fits(str(path), f"array {array.label} holds {values} values",
                 decoded * max(dtype.itemsize, 4) * DECODE_PEAK_FACTOR)
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            data = zarr.open_array(str(array.folder), mode="r")[...]
    except MemoryError:
        raise UserError(f"{where}: does not fit in memory") from None
    except Exception as error:
        if isinstance(error, ValueError) and _raised_by_kestova_codecs(error):
            raise UserError(f"{where}: {error}") from None  # the codec's refusal of a chunk
        # zarr's own failures, told in the command's words
        raise UserError(f"{where} cannot be read: zarr refuses its metadata or chunks "
                        f"({type(error).__name__})") from None
    attributes = array.attributes
    sample_type = attributes.get("source_dtype", data.dtype.name)
    if sample_type not in SAMPLE_TYPES:
        sample_type = data.dtype.name
    recorded_rate = attributes.get("sample_rate")
    if not (isinstance(recorded_rate, int) and recorded_rate > 0):
        recorded_rate = None
    source = attributes.get("source_format", "npy")
    samples = from_reconstruction(data, sample_type)
    one_dimensional = samples.ndim == 1
    return Recording(samples.reshape(1, -1) if one_dimensional else samples, sample_type,
                     rate or recorded_rate, source if source in SOURCE_FORMATS else "npy",
                     one_dimensional=one_dimensional)


def _raised_by_kestova_codecs(error: BaseException) -> bool:
    """Whether `error` was raised in the kestova_codecs package (its messages are Kestova's)."""
    frame = error.__traceback__
    while frame is not None and frame.tb_next is not None:
        frame = frame.tb_next
    return frame is not None and "kestova_codecs" in Path(frame.tb_frame.f_code.co_filename).parts


def stored_bytes(folder: Path) -> int:
    """The bytes of every file under `folder`, metadata included."""
    return sum(f.stat().st_size for f in folder.rglob("*") if f.is_file())

