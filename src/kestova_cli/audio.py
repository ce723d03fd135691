"""Audio files through libsndfile (the soundfile package, extra "audio"): FLAC, RF64, W64,
AIFF, and the WAV encodings the command's own reader leaves aside (64-bit float, A-law,
mu-law, ...), read and written block by block. Integer encodings keep their integer samples
exactly; the file's format and encoding are kept as attributes, so that decompressing writes
the same kind of file."""

from __future__ import annotations

from pathlib import Path
from typing import Any, Optional

import numpy as np

from .errors import UserError
from .extras import require
from .recording import Recording

# libsndfile encoding -> (sample type, the dtype libsndfile reads it as, the left shift that
# reading applies). Encodings not listed (lossy, companded) are read as float32.
_ENCODINGS = {"PCM_S8": ("int8", "int16", 8), "PCM_U8": ("uint8", "int16", 8),
              "PCM_16": ("int16", "int16", 0), "PCM_24": ("int24", "int32", 8),
              "PCM_32": ("int32", "int32", 0), "FLOAT": ("float32", "float32", 0),
              "DOUBLE": ("float64", "float64", 0)}
_OFFSET = {"uint8": 128}  # libsndfile gives unsigned 8-bit samples centred on 0
# Output suffix -> libsndfile's format name, and the encodings it may hold.
FORMATS = {".flac": ("FLAC", ("PCM_S8", "PCM_16", "PCM_24")),
           ".w64": ("W64", tuple(_ENCODINGS)), ".rf64": ("RF64", tuple(_ENCODINGS)),
           ".aiff": ("AIFF", tuple(_ENCODINGS)), ".aif": ("AIFF", tuple(_ENCODINGS))}
_LARGEST_RATE = (1 << 31) - 1  # libsndfile keeps the rate in a C int
_SUFFIX_OF = {"FLAC": "flac", "W64": "w64", "RF64": "rf64", "AIFF": "aiff", "WAV": "wav",
              "WAVEX": "wav"}


def read_audio(path: Path, rate: Optional[int]) -> Recording:
    soundfile = require("soundfile", str(path))
    if rate is not None:
        raise UserError(f"{path}: an audio file records its own sample rate; drop --rate")
    try:
        info = soundfile.info(str(path))
    except (RuntimeError, soundfile.LibsndfileError) as error:
        raise UserError(f"{path}: not an audio file libsndfile reads ({_reason(error)})") \
            from None
    if info.frames <= 0 or info.channels <= 0:
        raise UserError(f"{path}: no samples (or an unknown length, which a pipe gives)")
    sample_type, wire, shift = _ENCODINGS.get(info.subtype, ("float32", "float32", 0))
    opened: list[Any] = []

    def read(start: int, end: int) -> np.ndarray:
        if not opened:
            opened.append(soundfile.SoundFile(str(path)))
        audio = opened[0]
        try:
            if audio.tell() != start:
                audio.seek(start)
            values = audio.read(end - start, dtype=wire, always_2d=True)
        except (RuntimeError, soundfile.LibsndfileError) as error:
            raise UserError(f"{path}: unreadable at frame {start} ({_reason(error)})") from None
        if values.shape[0] != end - start:
            raise UserError(f"{path}: truncated: {end - start - values.shape[0]} frames short "
                            f"of the {info.frames} the header announces")
        if shift:
            values = (values >> shift) + _OFFSET.get(sample_type, 0)
        return np.ascontiguousarray(values.T, dtype="int32" if sample_type == "int24"
                                    else sample_type)

    source = _SUFFIX_OF.get(info.format, "audio")
    attributes = {"audio_format": info.format, "audio_subtype": info.subtype}
    return Recording(info.channels, info.frames, sample_type, info.samplerate, source,
                     info.channels == 1, read, attributes)


def write_audio(target: Path, written: Path, recording: Recording,
                format_name: Optional[str] = None) -> None:
    """Writes `recording` in the libsndfile format that `target`'s suffix names (or
    `format_name`), in the source's own encoding when that format holds it."""
    soundfile = require("soundfile", str(target))
    if recording.rate is None:
        raise UserError(f"{target}: the source records no sample rate; give one with --rate")
    if format_name is None:
        format_name, encodings = FORMATS[target.suffix.lower()]
    else:
        encodings = tuple(_ENCODINGS)
    encoding = recording.attributes.get("audio_subtype")
    if encoding not in encodings:
        encoding = next((e for e, (t, _, _) in _ENCODINGS.items()
                         if t == recording.sample_type and e in encodings), None)
    if encoding is None:
        raise UserError(f"{target}: {format_name} does not hold {recording.sample_type} "
                        f"samples ({', '.join(encodings)}); write .wav, .h5 or .npy instead")
    sample_type, wire, shift = _ENCODINGS[encoding]
    if recording.rate > _LARGEST_RATE:
        raise UserError(f"{target}: {format_name} does not hold a rate of {recording.rate} Hz")
    try:
        out = soundfile.SoundFile(str(written), "w", recording.rate, recording.channels,
                                  encoding, format=format_name)
    except (RuntimeError, soundfile.LibsndfileError) as error:  # parameters it refuses
        raise UserError(f"{target}: libsndfile cannot write {format_name} with "
                        f"{recording.channels} channels at {recording.rate} Hz "
                        f"({_reason(error).split(': ')[-1]})") from None
    with out:
        for _, block in recording.blocks():
            values = block.T.astype(wire)
            if shift:
                values = (values - _OFFSET.get(sample_type, 0)) << shift
            out.write(values)


def _reason(error: Exception) -> str:
    text = str(error).strip().splitlines()
    return text[-1] if text else type(error).__name__
