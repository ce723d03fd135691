"""Reading .npy files safely: the header is checked against the file before any array memory
is taken, and arrays of Python objects are never unpickled."""

from __future__ import annotations

import math
from typing import Any, BinaryIO
from dataclasses import dataclass
from pathlib import Path

import numpy as np
from numpy.lib import format as npy_format

from .errors import UserError
from .files import require_file


@dataclass
class NpyLayout:
    shape: tuple[int, ...]
    fortran_order: bool
    dtype: np.dtype  # as stored, possibly of the other byte order
    offset: int  # of the data in the file


def read_npy_layout(path: Path) -> NpyLayout:
    """The header of the .npy file `path`, checked against the file's size; a one-line
    `UserError` for anything else: an empty or non-.npy file, a malformed header, an array of
    objects, or a header announcing more data than the file holds."""
    require_file(path)
    with open(path, "rb") as f:
        try:
            version = npy_format.read_magic(f)
            shape, fortran, dtype = _read_header(f, version)
        except Exception:  # NumPy's parser raises ValueError, SyntaxError, TokenError, ...
            raise UserError(f"{path}: not a .npy array file") from None
        offset = f.tell()
    if dtype.hasobject:
        raise UserError(f"{path}: the .npy file holds Python objects, not numbers")
    needed = math.prod(shape) * dtype.itemsize
    present = path.stat().st_size - offset
    if needed > present:
        raise UserError(f"{path}: truncated: the header announces shape {shape} of {dtype} "
                        f"({needed} bytes), the file holds {present}")
    return NpyLayout(tuple(shape), fortran, dtype, offset)


def load_npy(path: Path) -> np.ndarray:
    """The array in the .npy file `path`, read whole after `read_npy_layout`'s checks."""
    layout = read_npy_layout(path)
    array = np.fromfile(path, dtype=layout.dtype, count=math.prod(layout.shape),
                        offset=layout.offset)
    return array.reshape(layout.shape, order="F" if layout.fortran_order else "C")


def _read_header(f: BinaryIO, version: tuple[int, int]) -> tuple[Any, bool, np.dtype[Any]]:
    if version == (1, 0):
        return npy_format.read_array_header_1_0(f)
    if version in ((2, 0), (3, 0)):
        return npy_format.read_array_header_2_0(f)
    raise ValueError(f"unknown .npy version {version}")
