"""What `kestova info` says about a zarr store: each Kestova array's shape, chunks, dtype,
settings, stored bytes and ratio, the scales an error-bounded array's chunks used, and the
arrays it skipped."""

from __future__ import annotations

import math
from pathlib import Path

from kestova_codecs.tables import HEADER_SIZE, read_header

from .record import kept_lines
from .recording import SAMPLE_TYPES, numpy_type
from .zarr_stores import StoredArray, find_arrays, kestova_arrays, stored_bytes


def describe(path: Path) -> list[str]:
    arrays = find_arrays(path)
    kestova = kestova_arrays(path)  # refuses a store without any, naming the codecs found
    lines = []
    for array in kestova:
        lines += _describe_array(array)
    for array in arrays:
        if array.kestova_settings is None:
            lines.append(f"skipped array {array.label}: not Kestova (codecs: "
                         f"{', '.join(array.codecs) or 'none'})")
    return lines


def _describe_array(array: StoredArray) -> list[str]:
    settings = array.kestova_settings or {}  # only Kestova arrays are described
    shape = array.shape
    lines = [f"array {array.label}: {array.dtype}, shape {_dims(shape)}, "
             f"chunks {_dims(array.chunks)}",
             "  settings: " + " ".join(f"{k}={v}" for k, v in settings.items())]
    if "encoder" in settings:
        lines.append(f"  encoder: {settings['encoder']}")
    attributes = array.attributes
    if "sample_rate" in attributes or "source_dtype" in attributes:  # written by the command
        rate = attributes.get("sample_rate")
        if len(shape) == 2:
            lines += [f"  channels: {shape[0]}", f"  samples: {shape[1]} per channel"]
        lines += [f"  sample rate: {f'{rate} Hz' if rate else 'not recorded'}",
                  f"  source: {attributes.get('source_format', 'unknown')}, "
                  f"{attributes.get('source_dtype', array.dtype)}"]
        lines += kept_lines(attributes)
    values, stored = math.prod(shape), max(stored_bytes(array.folder), 1)
    lines += [f"  stored bytes: {stored}",
              f"  ratio: {values * 4 / stored:.2f} against float32 samples"
              + _source_ratio(array, values, stored)]
    if settings.get("max_error") is not None:
        scales = _scales_used(array)
        if scales:
            used = f"{min(scales)} to {max(scales)}" if len(scales) > 1 else f"{min(scales)}"
            lines.append(f"  scales used: {used}")
    return lines


def _scales_used(array: StoredArray) -> set[int]:
    """The scales in the headers of the array's chunk files (none for sharded arrays, whose
    files are shards)."""
    scales = set()
    for chunk in array.folder.rglob("*"):
        if chunk.is_file() and chunk.name != "zarr.json":
            try:
                with open(chunk, "rb") as f:
                    scales.add(read_header(f.read(HEADER_SIZE))["scale"])
            except (OSError, ValueError):
                pass
    return scales


def _dims(shape: tuple[int, ...]) -> str:
    return " x ".join(map(str, shape)) or "()"


def _source_ratio(array: StoredArray, values: int, stored: int) -> str:
    source = array.attributes.get("source_dtype", array.dtype)
    if source == "float32" or source not in SAMPLE_TYPES:
        return ""
    size = 3 if source == "int24" else numpy_type(source).itemsize
    return f", {values * size / stored:.2f} against the {source} source"
