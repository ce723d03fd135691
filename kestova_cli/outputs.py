"""Writing decoded recordings as .wav or .npy, the kind the output's name asks for."""

from __future__ import annotations

from pathlib import Path

import numpy as np

from .errors import UserError
from .recording import Recording
from .wav import ENCODINGS, write_wav

SUFFIXES = (".wav", ".npy")


def check_output_kind(path: Path) -> None:
    if path.suffix.lower() not in SUFFIXES:
        raise UserError(f"{path}: unknown output kind; expected a name ending in .wav or .npy")


def write_output(target: Path, written: Path, recording: Recording) -> None:
    """Writes `recording` to `written` in the kind that `target`'s name asks for."""
    if target.suffix.lower() == ".npy":
        samples = recording.samples[0] if recording.one_dimensional else recording.samples
        with open(written, "wb") as out:
            np.save(out, samples)
        return
    if recording.rate is None:
        raise UserError(f"{target}: the source records no sample rate; give one with --rate")
    # Sample types WAV has no encoding for are written as 32-bit float, values unchanged.
    if recording.sample_type in ENCODINGS.values():
        write_wav(written, recording.samples, recording.rate, recording.sample_type)
    else:
        write_wav(written, recording.samples.astype(np.float32), recording.rate, "float32")
