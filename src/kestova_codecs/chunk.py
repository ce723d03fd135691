"""One chunk to one plain Kestova container and back, for both codecs, compress_within and the
command: calls into the C++ chunk layer, which holds every rule (element types, bounds, the
trailing NaN run, the container's size against its chunk) for both versions. Decoding reads
either version, whatever the settings' format, from the stream's version byte."""

from __future__ import annotations

from typing import Any, Optional

import numpy as np
import numpy.typing as npt

from kestova_codecs import _binding
from kestova_codecs.dtypes import native
from kestova_codecs.settings import Settings

_VERSION_BYTE = 4  # after the magic, in both versions


def version_of(data: _binding.BufferLike) -> int:
    """The version byte of the stream in the buffer ``data`` (0 when too short to have one)."""
    view = np.frombuffer(data if isinstance(data, np.ndarray) else memoryview(data), np.uint8)
    return int(view[_VERSION_BYTE]) if view.size > _VERSION_BYTE else 0


def announced_samples(data: _binding.BufferLike) -> int:
    """The samples the stream's header announces, either version, checked before decoding."""
    if version_of(data) == 2:
        return _binding.read_v2_header(data)["samples"]
    return _binding.read_header(data)["samples"]


def encode(values: npt.NDArray[Any], settings: Settings, *,
           omit_trailing_nan: bool = False) -> bytes:
    """The chunk's values (flattened in C order unless already 1-D) as one Kestova container of
    the settings' format. Version 1 is written by the settings' encoder: with "reference" and no
    bound the bytes that ``kestova.compress_signal`` gives for them as float32. NaN and
    infinities are refused, except a float chunk's trailing NaN run with ``omit_trailing_nan``
    (left out of the container)."""
    flat = native(values)
    s = settings
    if s.format == 2:
        s.check_dtype(flat.dtype)
    return _binding.encode_chunk(flat, flat.dtype.name, s.method, s.scale, s.cutoff, s.coder,
                                 s.encoder, s.max_error, s.relative, omit_trailing_nan, s.format,
                                 s.psnr, s.bits_per_sample)


def decode(data: _binding.BufferLike, dtype: npt.DTypeLike, elements: Optional[int] = None,
           fill: str = "exact") -> npt.NDArray[Any]:
    """The chunk the container in the buffer ``data`` holds, 1-D, as ``dtype``: ``elements`` of
    them ("exact"), up to ``elements`` ("at_most"), or ``elements`` of which a float chunk's
    trailing ones may have been left out and come back NaN ("trailing_nan"). Without
    ``elements``, as many as the container holds. The header is checked before decoding."""
    dtype = np.dtype(dtype)
    if elements is None:
        elements, fill = announced_samples(data), "exact"
    if version_of(data) == 2 and _binding.read_v2_header(data)["element_type"] != dtype.name:
        return _decode_v2_as(data, dtype, elements, fill)
    decoded = _binding.decode_chunk(data, dtype.name, elements, fill)
    # The decoder's memory, not a copy.
    values = np.frombuffer(memoryview(decoded), dtype.newbyteorder("="))
    return values if values.dtype == dtype else values.astype(dtype)


def _decode_v2_as(data: _binding.BufferLike, dtype: np.dtype[Any], elements: int,
                  fill: str) -> npt.NDArray[Any]:
    """A version-2 stream decoded into another type than its own (a numcodecs codec whose
    ``dtype`` differs from the array's): integers rounded and clipped, as version 1 does."""
    info = _binding.read_v2_header(data)  # framing and checksum, nothing decoded yet
    announced = info["samples"]
    _check_announced(announced, elements, fill, dtype)
    stored = np.empty(announced, info["element_type"])
    _binding.decode_v2_into(data, stored)
    count = announced if fill == "at_most" else elements
    out = np.full(count, np.nan, dtype) if count > announced else np.empty(count, dtype)
    if dtype.kind in "iu" and stored.dtype.kind == "f":  # as version 1: rounded and clipped
        limits = np.iinfo(dtype)
        stored = np.clip(np.rint(stored), limits.min, limits.max)
    elif dtype.kind in "iu":
        limits = np.iinfo(dtype)
        stored = np.clip(stored, limits.min, limits.max)
    out[:announced] = stored
    return out


def _check_announced(announced: int, elements: int, fill: str, dtype: np.dtype[Any]) -> None:
    # The rule of the C++ chunk layer's check_announced (codec/chunk/trailing_fill.h).
    if announced > elements:
        raise ValueError(f"the container announces {announced} samples, but the chunk has "
                         f"{elements} values; refusing to decode it")
    shorter_allowed = fill == "at_most" or (fill == "trailing_nan" and dtype.kind == "f"
                                            and announced > 0)
    if announced < elements and not shorter_allowed:
        raise ValueError(f"the container holds {announced} samples, but the chunk has "
                         f"{elements} values")
