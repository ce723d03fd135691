"""`-` for standard input and output. Standard input is copied block by block to a temporary
file, named by what its first bytes say it is (WAV, .npy, FLAC, a Kestova container, else raw
float32), and read from there; outputs go to standard output as they are written, in kinds
that need no seeking: a .kst file, WAV for an audio source, else raw float32."""

from __future__ import annotations

import shutil
import sys
import tempfile
from collections.abc import Iterator
from contextlib import contextmanager
from pathlib import Path

from .errors import UserError

DASH = Path("-")
STDOUT = Path("/dev/stdout")
# The first bytes of a stream -> the suffix its kind is read by; anything else is raw float32.
_MAGIC = [(b"RIFF", ".wav"), (b"RF64", ".wav"), (b"\x93NUMPY", ".npy"), (b"fLaC", ".flac")]
_BLOCK = 1 << 22


@contextmanager
def spooled_stdin(default_suffix: str) -> Iterator[Path]:
    """Standard input as a temporary file, removed afterwards; messages naming the file name
    standard input instead."""
    folder = Path(tempfile.mkdtemp(prefix="kestova-stdin-"))
    try:
        source = sys.stdin.buffer
        head = source.read(16)
        suffix = next((s for magic, s in _MAGIC if head.startswith(magic)), default_suffix)
        path = folder / f"stdin{suffix}"
        with open(path, "wb") as spool:
            spool.write(head)
            shutil.copyfileobj(source, spool, _BLOCK)
        try:
            yield path
        except UserError as error:
            raise UserError(str(error).replace(str(path), "standard input")) from None
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def stdout_name(source_format: str) -> Path:
    """Standard output as an output name whose suffix gives the kind written there: WAV for an
    audio source, else raw float32."""
    audio = source_format in ("wav", "flac", "w64", "rf64", "aiff", "audio")
    return Path("standard output" + (".wav" if audio else ".f32"))
