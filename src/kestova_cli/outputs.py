"""Writing decoded recordings as .wav or .npy, the kind the output's name asks for.
WRITERS maps an output's suffix to its writer; a new output kind is one entry there."""

from __future__ import annotations

from pathlib import Path
from typing import Callable

import numpy as np

from .errors import UserError
from .recording import Recording
from .wav import ENCODINGS, write_wav


def _write_npy(target: Path, written: Path, recording: Recording) -> None:
    samples = recording.samples[0] if recording.one_dimensional else recording.samples
    with open(written, "wb") as out:
        np.save(out, samples)


def _write_wav(target: Path, written: Path, recording: Recording) -> None:
    samples = recording.samples
    if recording.rate is None:
        raise UserError(f"{target}: the source records no sample rate; give one with --rate")
    if samples.ndim != 2 or samples.shape[0] > samples.shape[1]:
        raise UserError(f"{target}: a WAV file holds channels of samples, and an array of "
                        f"shape {samples.shape} is not that; write .npy instead")
    sample_type = recording.sample_type
    if sample_type in ENCODINGS.values():
        write_wav(written, samples, recording.rate, sample_type)
    elif sample_type in _SHIFTED_PCM:  # exact: the PCM type of the same width, offset
        pcm_type, offset = _SHIFTED_PCM[sample_type]
        write_wav(written, (samples.astype(np.int32) + offset).astype(pcm_type), recording.rate,
                  pcm_type)
    else:  # float64: 32-bit float, values unchanged
        write_wav(written, samples.astype(np.float32), recording.rate, "float32")


# Integer types WAV has no encoding for -> the PCM type of their width and the offset to it
# (8-bit PCM is unsigned, 16-bit PCM signed), so players see the full scale they had.
_SHIFTED_PCM = {"int8": ("uint8", 128), "uint16": ("int16", -32768)}


# Output suffix -> writer(the output the user named, the path to write to, the recording).
WRITERS: dict[str, Callable[[Path, Path, Recording], None]] = {
    ".npy": _write_npy, ".wav": _write_wav}


def check_output_kind(path: Path) -> None:
    if path.suffix.lower() not in WRITERS:
        raise UserError(f"{path}: unknown output kind; expected a name ending in "
                        f"{' or '.join(WRITERS)}")


def write_output(target: Path, written: Path, recording: Recording) -> None:
    """Writes `recording` to `written` in the kind that `target`'s name asks for."""
    WRITERS[target.suffix.lower()](target, written, recording)
