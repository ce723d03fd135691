"""Reading recordings: WAV, 1-D or 2-D .npy, raw little-endian float32 (.f32, .raw), and through
their libraries the field's formats (formats.py). READERS maps an input's suffix to its reader;
a new input kind is one entry there. Every reader reads the header only: samples are read block
by block as a job needs them."""

from __future__ import annotations

import importlib.util
from pathlib import Path
from typing import Callable, Optional, Union

import numpy as np

from kestova_codecs.dtypes import SUPPORTED

from .audio import FORMATS as AUDIO_FORMATS
from .audio import read_audio
from .edf import SUFFIXES as EDF_SUFFIXES
from .edf import read_edf
from .errors import UserError
from .extras import install_hint
from .file_frames import interleaved, planar
from .files import require_file
from .seismic import SUFFIXES as SEISMIC_SUFFIXES
from .seismic import read_seismic
from .npy import read_npy_layout
from .recording import SAMPLE_TYPES, Recording
from .wav import OtherWav, frame_reader, read_layout


def _read_wav(path: Path, rate: Optional[int]) -> Recording:
    if rate is not None:
        raise UserError(f"{path}: a WAV file records its own sample rate; drop --rate")
    try:
        wav = read_layout(path)
    except OtherWav as error:
        if importlib.util.find_spec("soundfile") is None:
            raise UserError(f"{error}; other kinds need soundfile: {install_hint('audio')}") \
                from None
        return read_audio(path, rate)
    attributes = {} if wav.channel_mask is None else {"wav_channel_mask": wav.channel_mask}
    return Recording(wav.channels, wav.frames, wav.sample_type, wav.rate, "wav",
                     wav.channels == 1, frame_reader(path, wav), attributes)


def _read_npy(path: Path, rate: Optional[int]) -> Recording:
    npy = read_npy_layout(path)
    dtype, shape = npy.dtype, npy.shape
    if dtype.name not in SAMPLE_TYPES:
        raise UserError(f"{path}: unsupported sample type {dtype}; supported: {SUPPORTED}")
    if len(shape) not in (1, 2):
        raise UserError(f"{path}: expected a 1-D or 2-D array, got shape {shape}")
    if len(shape) == 2 and shape[0] > shape[1]:
        raise UserError(f"{path}: {shape[0]} channels of {shape[1]} samples each; rows "
                        f"are channels: save the array transposed (np.save(path, a.T))")
    channels, length = (1, shape[0]) if len(shape) == 1 else shape
    native = dtype.newbyteorder("=")
    if len(shape) == 2 and not npy.fortran_order:
        read = planar(path, npy.offset, dtype, channels, length, native)
    else:  # one channel, or channels of each frame side by side (Fortran order)
        read = interleaved(path, npy.offset, dtype, channels, native)
    return Recording(channels, length, dtype.name, rate, "npy", len(shape) == 1, read)


def _read_raw(path: Path, rate: Optional[int]) -> Recording:
    size = path.stat().st_size
    if size % 4:
        raise UserError(f"{path}: {size} bytes is not a whole number of float32 samples")
    read = interleaved(path, 0, np.dtype("<f4"), 1, np.dtype(np.float32))
    return Recording(1, size // 4, "float32", rate, "raw", True, read)


# Input suffix -> reader(path, the user's --rate for sources that record none).
READERS: dict[str, Callable[[Path, Optional[int]], Union[Recording, list[Recording]]]] = {
    ".wav": _read_wav, ".npy": _read_npy, ".f32": _read_raw, ".raw": _read_raw,
    **{suffix: read_audio for suffix in AUDIO_FORMATS}, **{s: read_edf for s in EDF_SUFFIXES},
    **{s: read_seismic for s in SEISMIC_SUFFIXES}}


def read_input(path: Path, rate: Optional[int]) -> list[Recording]:
    """The recordings in `path`: one, or one per sample rate (EDF, miniSEED); `rate` is the
    user's sample rate for sources that have none."""
    reader = READERS.get(path.suffix.lower())
    if reader is None:
        raise UserError(f"{path}: unknown input kind; expected one of {', '.join(READERS)}")
    require_file(path)
    read = reader(path, rate)
    recordings = read if isinstance(read, list) else [read]
    if sum(r.samples for r in recordings) == 0:
        raise UserError(f"{path}: no samples")
    return recordings
