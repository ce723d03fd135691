"""Outputs that appear whole or not at all: written beside the target, renamed at the end."""

from __future__ import annotations

import os
import shutil
from collections.abc import Iterator
from contextlib import contextmanager
from pathlib import Path

from .errors import UserError


@contextmanager
def replacing(target: Path, force: bool) -> Iterator[Path]:
    """Yields a temporary path beside `target` to write a file or a directory to; on success it
    becomes `target` (replacing an existing one only with `force`), on failure it is removed."""
    if _exists(target) and not force:
        raise UserError(f"{target} exists; use --force to replace it")
    if not target.parent.is_dir():
        raise UserError(f"{target}: folder {target.parent} does not exist")
    partial = target.with_name(f".{target.name}.{os.getpid()}.partial")
    try:
        yield partial
        if _exists(target):
            old = target.with_name(f".{target.name}.{os.getpid()}.old")
            os.rename(target, old)
            os.rename(partial, target)
            _remove(old)
        else:
            os.rename(partial, target)
    except OSError as error:  # name the output the user asked for, never the hidden file
        raise UserError(f"{target}: {error.strerror or error}") from None
    finally:
        try:
            _remove(partial)
        except OSError:
            pass


def _exists(path: Path) -> bool:
    return path.exists() or path.is_symlink()


def _remove(path: Path) -> None:
    if path.is_dir() and not path.is_symlink():
        shutil.rmtree(path)
    elif _exists(path):
        path.unlink()
