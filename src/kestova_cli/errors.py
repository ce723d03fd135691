"""The failures the command reports as one plain line with exit status 2."""

from __future__ import annotations

from typing import Optional


class UserError(Exception):
    """A problem with the user's input, options or files, told in one line."""


class SomeFailed(Exception):
    """Some jobs of a batch failed, each already told in its line: exit status 2, nothing
    more to say."""


def message_of(error: BaseException, name: str = "") -> Optional[str]:
    """The one line telling `error` (of the job on the file `name`), or None for errors that
    are faults of the command itself."""
    where = f"{name}: " if name else ""
    if isinstance(error, UserError):
        return str(error)
    if isinstance(error, MemoryError):
        return f"{where}out of memory; a store output (-o NAME.zarr or .h5) needs the least"
    if isinstance(error, FileNotFoundError):
        return f"{error.filename}: no such file" if error.filename else str(error)
    if isinstance(error, OSError):
        where = f"{error.filename}: " if error.filename else where
        return f"{where}{error.strerror or error}"
    return None
