"""Reading .npy files safely: the header is checked against the file before any array memory
is taken, and arrays of Python objects are never unpickled."""

from __future__ import annotations

import math
from pathlib import Path

import numpy as np
from numpy.lib import format as npy_format

from .errors import UserError
from .files import require_file


def load_npy(path: Path) -> np.ndarray:
    """The array in the .npy file `path`; a one-line `UserError` for anything else: an empty
    or non-.npy file, a malformed header, an array of objects, or a header announcing more data
    than the file holds."""
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
    array = np.fromfile(path, dtype=dtype, count=math.prod(shape), offset=offset)
    return array.reshape(shape, order="F" if fortran else "C")


def _read_header(f, version):
    if version == (1, 0):
        return npy_format.read_array_header_1_0(f)
    if version in ((2, 0), (3, 0)):
        return npy_format.read_array_header_2_0(f)
    raise ValueError(f"unknown .npy version {version}")
