"""What `compress` writes: TARGETS maps an output's suffix to its writer and the recordings it
takes; a new output kind is one entry there. Stores are written block by block; a .kst file
holds one stream, so its signal is gathered whole first."""

from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path
from typing import Any, Callable

import numpy as np

from . import hdf5_file, store
from .encode import encode_signal
from .progress import working
from .psnr import encode_for_psnr
from .kst_file import kst_bytes
from .memory import KST_BOUNDED_ENCODE_FACTOR, KST_ENCODE_FACTOR, require_fits
from .record import Record
from .recording import Recording, numpy_type, require_finite

# (path to write, recording, codec settings, the source's name for messages, whether it is the
# first recording written there: the next ones of a file of several join it)
Writer = Callable[[Path, Recording, dict[str, Any], str, bool], None]


@dataclass
class Target:
    write: Writer
    takes: Callable[[Recording], bool]  # the recordings it can hold


def _write_kst(path: Path, recording: Recording, settings: dict[str, Any], source: str,
               first: bool) -> None:
    # With a bound, or in version 2 (which keeps the type), the samples in their own type, so
    # that it holds for them as they decode; without one, as the float32 the codec makes of
    # them anyway, which takes no second copy.
    own_type = settings.get("max_error") is not None or settings.get("format") == 2
    dtype = numpy_type(recording.sample_type) if own_type else np.dtype(np.float32)
    searched = settings.get("format") != 2 and (settings.get("max_error") is not None
                                                or settings.get("psnr") is not None)
    require_fits(source, f"{recording.samples} samples in one .kst stream",
                 recording.samples * max(dtype.itemsize, 4)
                 * (KST_BOUNDED_ENCODE_FACTOR if searched else KST_ENCODE_FACTOR),
                 f"a store holds it chunk by chunk: -o {Path(source).stem}.zarr or .h5")
    signal = np.empty(recording.length, dtype)
    for start, block in recording.blocks():
        require_finite(source, block, start)
        signal[start:start + block.shape[1]] = block[0]
    codec = {k: v for k, v in settings.items() if k != "psnr"}
    with working(f"{Path(source).name}: encoding"):
        if settings.get("psnr") is None or settings.get("format") == 2:  # version 2 reaches it
            stream = encode_signal(source, signal, settings)
        else:
            stream = encode_for_psnr(source, signal, codec, settings["psnr"], encode_signal)
    del signal
    record = Record(recording.sample_type, recording.rate, recording.source_format,
                    encoder=settings.get("encoder"), attributes=recording.attributes or None)
    path.write_bytes(kst_bytes(stream, record))


TARGETS: dict[str, Target] = {
    ".kst": Target(_write_kst, lambda r: r.one_dimensional and r.name is None),
    ".zarr": Target(store.write_store, lambda r: True),
    **{suffix: Target(hdf5_file.write_hdf5, lambda r: True) for suffix in hdf5_file.SUFFIXES},
}


def default_suffix(recordings: list[Recording]) -> str:
    return ".kst" if len(recordings) == 1 and recordings[0].one_dimensional else ".zarr"
