"""The one wording for input paths that are missing or are not files."""

from __future__ import annotations

from pathlib import Path

from .errors import UserError


def require_file(path: Path) -> None:
    if path.is_file():
        return
    if path.is_dir():
        raise UserError(f"{path}: is a folder, not a file")
    if path.exists():
        raise UserError(f"{path}: not a regular file")
    raise UserError(f"{path}: no such file")
