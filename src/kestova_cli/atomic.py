"""Outputs that appear whole or not at all: written beside the target, renamed at the end."""

from __future__ import annotations

import glob
import os
import shutil
import time
from collections.abc import Iterator
from contextlib import contextmanager
from pathlib import Path

from .errors import UserError

STALE_SECONDS = 60  # unchanged this long, a partial output of a process gone is left over


@contextmanager
def replacing(target: Path, force: bool) -> Iterator[Path]:
    """Yields a temporary path beside `target` to write a file or a directory to; on success it
    becomes `target` (replacing an existing one only with `force`), on failure it is removed."""
    if _exists(target) and not force:
        raise UserError(f"{target} exists; use --force to replace it")
    if not target.parent.is_dir():
        raise UserError(f"{target}: folder {target.parent} does not exist")
    remove_stale(target)
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


def remove_stale(target: Path) -> None:
    """Removes what an earlier run writing `target` left when it was killed (kill -9, a power
    cut): its hidden .NAME.PID.partial and .NAME.PID.old beside the target, whose process is
    gone and which have not changed for STALE_SECONDS (a process on another machine sharing the
    folder has an id that says nothing here, but its output changes as it is written). An .old
    is left alone while the target is missing: the run was killed between its two renames, and
    the .old is the previous output."""
    kinds = ("partial", "old") if _exists(target) else ("partial",)
    for left in target.parent.glob(f".{glob.escape(target.name)}.*"):
        pid, _, kind = left.name[len(target.name) + 2:].partition(".")
        if kind in kinds and pid.isdigit() and not _running(int(pid)) and _unchanged(left):
            try:
                _remove(left)
            except OSError:
                pass  # not ours to remove after all (permissions): leave it


def _unchanged(path: Path) -> bool:
    try:
        return time.time() - path.lstat().st_mtime > STALE_SECONDS
    except OSError:
        return False


def _running(pid: int) -> bool:
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:  # another user's process
        return True
    return True
