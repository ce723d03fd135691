"""One chunk to one plain Kestova container and back, for both codecs, compress_within and the
command: calls into the C++ chunk layer, which holds every rule (element types, bounds, the
trailing NaN run, the container's size against its chunk)."""

from __future__ import annotations

from typing import Any, Optional

import numpy as np
import numpy.typing as npt

from kestova_codecs import _binding
from kestova_codecs.dtypes import native
from kestova_codecs.settings import Settings


def encode(values: npt.NDArray[Any], settings: Settings, *,
           omit_trailing_nan: bool = False) -> bytes:
    """The chunk's values (flattened in C order unless already 1-D) as one Kestova container,
    written by the settings' encoder: with "reference" and no bound the bytes that
    ``kestova.compress_signal`` gives for them as float32. NaN and infinities are refused, except
    a float chunk's trailing NaN run with ``omit_trailing_nan`` (left out of the container)."""
    flat = native(values)
    s = settings
    return _binding.encode_chunk(flat, flat.dtype.name, s.method, s.scale, s.cutoff, s.coder,
                                 s.encoder, s.max_error, s.relative, omit_trailing_nan)


def decode(data: _binding.BufferLike, dtype: npt.DTypeLike, elements: Optional[int] = None,
           fill: str = "exact") -> npt.NDArray[Any]:
    """The chunk the container in the buffer ``data`` holds, 1-D, as ``dtype``: ``elements`` of
    them ("exact"), up to ``elements`` ("at_most"), or ``elements`` of which a float chunk's
    trailing ones may have been left out and come back NaN ("trailing_nan"). Without
    ``elements``, as many as the container holds. The header is checked before decoding."""
    dtype = np.dtype(dtype)
    if elements is None:
        elements, fill = _binding.read_header(data)["samples"], "exact"
    decoded = _binding.decode_chunk(data, dtype.name, elements, fill)
    # The decoder's memory, not a copy.
    values = np.frombuffer(memoryview(decoded), dtype.newbyteorder("="))
    return values if values.dtype == dtype else values.astype(dtype)
