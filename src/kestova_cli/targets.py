"""What `compress` writes: TARGETS maps an output's suffix to its writer and the recordings it
takes; a new output kind is one entry there."""

from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path
from typing import Any, Callable

from . import hdf5_file, store
from .encode import encode_signal
from .kst_file import kst_bytes
from .record import Record
from .recording import Recording

Writer = Callable[[Path, Recording, dict, Callable[[str], None], str], None]


@dataclass
class Target:
    # (path to write, recording, codec settings, progress step, the source's name for messages)
    write: Writer
    takes: Callable[[Recording], bool]  # the recordings it can hold


def _write_kst(path: Path, recording: Recording, settings: dict[str, Any],
               progress: Callable[[str], None], source: str) -> None:
    stream = encode_signal(source, recording.samples[0], settings)
    record = Record(recording.sample_type, recording.rate, recording.source_format,
                    encoder=settings["encoder"])
    path.write_bytes(kst_bytes(stream, record))


TARGETS: dict[str, Target] = {
    ".kst": Target(_write_kst, lambda r: r.one_dimensional),
    ".zarr": Target(store.write_store, lambda r: not r.one_dimensional),
    **{suffix: Target(hdf5_file.write_hdf5, lambda r: True) for suffix in hdf5_file.SUFFIXES},
}


def default_suffix(recording: Recording) -> str:
    return ".kst" if recording.one_dimensional else ".zarr"
