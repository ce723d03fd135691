"""Writing decoded recordings, block by block, in the kind the output's name asks for: .npy,
.wav, raw little-endian float32 (.f32, .raw: frames one after the other), a plain HDF5 dataset
(.h5, .hdf5), and through their libraries the field's formats (formats.py).
WRITERS maps an output's suffix to its writer; a new output kind is one entry there."""

from __future__ import annotations

from dataclasses import replace
from pathlib import Path
from typing import Any, Callable

import numpy as np
from numpy.lib import format as npy_format

from .audio import FORMATS as AUDIO_FORMATS
from .audio import write_audio
from .edf import SUFFIXES as EDF_SUFFIXES
from .edf import write_edf, write_edf_parts
from .errors import UserError
from .recording import Recording, numpy_type
from .seismic import SUFFIXES as SEISMIC_SUFFIXES
from .seismic import write_seismic, write_seismic_parts
from .streams import STDOUT
from .wav import ENCODINGS, check_wav_fields, needs_rf64, write_wav_blocks


def _write_npy(target: Path, written: Path, recording: Recording) -> None:
    dtype = numpy_type(recording.sample_type)
    shape = recording.shape or ((recording.length,) if recording.one_dimensional
                                else (recording.channels, recording.length))
    header = {"descr": npy_format.dtype_to_descr(dtype), "fortran_order": False,
              "shape": shape}
    with open(written, "wb") as out:
        npy_format.write_array_header_2_0(out, header) if _header_too_long(header) \
            else npy_format.write_array_header_1_0(out, header)
        offset = out.tell()
        for start, block in recording.blocks():
            for channel, row in enumerate(block):  # rows lie one after the other
                out.seek(offset + (channel * recording.length + start) * dtype.itemsize)
                out.write(np.ascontiguousarray(row, dtype).tobytes())


def _header_too_long(header: dict[str, Any]) -> bool:
    return len(repr(header)) > 65000


def _write_wav(target: Path, written: Path, recording: Recording) -> None:
    if recording.rate is None:
        raise UserError(f"{target}: the source records no sample rate; give one with --rate")
    if recording.shape is not None or recording.channels > recording.length:
        raise UserError(f"{target}: a WAV file holds channels of samples, and an array of "
                        f"shape {recording.shape or (recording.channels, recording.length)} is "
                        f"not that; write .npy instead")
    sample_type = recording.sample_type
    if sample_type == "float64" and recording.attributes.get("audio_subtype") == "DOUBLE":
        # 64-bit float, as it came; RF64 where its size is past a RIFF header's
        wide = needs_rf64(recording.channels, 2 * recording.length, "float32")
        return write_audio(target, written, recording, "RF64" if wide else "WAV")
    convert: Callable[[np.ndarray], np.ndarray] = lambda block: block
    if sample_type in _SHIFTED_PCM:  # exact: the PCM type of the same width, offset
        pcm_type, offset = _SHIFTED_PCM[sample_type]
        convert = lambda block: (block.astype(np.int32) + offset).astype(pcm_type)
        sample_type = pcm_type
    elif sample_type not in ENCODINGS.values():  # float64: 32-bit float, values unchanged
        convert = lambda block: block.astype(np.float32)
        sample_type = "float32"
    mask = recording.attributes.get("wav_channel_mask")
    check_wav_fields(target, recording.channels, recording.rate, sample_type)
    if needs_rf64(recording.channels, recording.length, sample_type, mask) and written != STDOUT:
        # past what a RIFF header records: RF64, its 64-bit sizes, through libsndfile
        return write_audio(target, written, replace(
            recording, sample_type=sample_type, attributes={"audio_subtype": None},
            read_frames=lambda start, end: convert(recording.read_frames(start, end))), "RF64")
    write_wav_blocks(written, (convert(block) for _, block in recording.blocks()),
                     recording.channels, recording.length, recording.rate, sample_type, mask,
                     streamed=written == STDOUT)


# Integer types WAV has no encoding for -> the PCM type of their width and the offset to it
# (8-bit PCM is unsigned, 16-bit PCM signed), so players see the full scale they had.
_SHIFTED_PCM = {"int8": ("uint8", 128), "uint16": ("int16", -32768)}


def _write_raw(target: Path, written: Path, recording: Recording) -> None:
    with open(written, "wb") as out:
        for _, block in recording.blocks():
            out.write(np.ascontiguousarray(block.T, "<f4").tobytes())


def _write_hdf5(target: Path, written: Path, recording: Recording) -> None:
    from .hdf5_file import DATASET, _modules

    h5py, _ = _modules()
    shape = (recording.length,) if recording.one_dimensional else \
        (recording.channels, recording.length)
    with h5py.File(written, "w") as file:
        dataset = file.create_dataset(DATASET, shape, numpy_type(recording.sample_type))
        attributes = {"source_dtype": recording.sample_type, **recording.attributes}
        if recording.rate is not None:
            attributes["sample_rate"] = recording.rate
        dataset.attrs.update(attributes)
        for start, block in recording.blocks():
            end = start + block.shape[1]
            if recording.one_dimensional:
                dataset[start:end] = block[0]
            else:
                dataset[:, start:end] = block


# Output suffix -> writer(the output the user named, the path to write to, the recording).
WRITERS: dict[str, Callable[[Path, Path, Recording], None]] = {
    ".npy": _write_npy, ".wav": _write_wav, ".f32": _write_raw, ".raw": _write_raw,
    ".h5": _write_hdf5, ".hdf5": _write_hdf5, **{s: write_audio for s in AUDIO_FORMATS},
    **{s: write_edf for s in EDF_SUFFIXES}, **{s: write_seismic for s in SEISMIC_SUFFIXES}}


# Output suffix -> writer of several recordings of one time span into one file (one per rate).
PART_WRITERS: dict[str, Callable[[Path, Path, list[Recording]], None]] = {
    **{s: write_edf_parts for s in EDF_SUFFIXES},
    **{s: write_seismic_parts for s in SEISMIC_SUFFIXES}}


def check_output_kind(path: Path) -> None:
    if path.suffix.lower() not in WRITERS:
        raise UserError(f"{path}: unknown output kind; expected a name ending in "
                        f"{', '.join(WRITERS)}")


def write_output(target: Path, written: Path, recording: Recording) -> None:
    """Writes `recording` to `written` in the kind that `target`'s name asks for."""
    WRITERS[target.suffix.lower()](target, written, recording)


def default_output_suffix(recording: Recording) -> str:
    """The source's own kind where there is a writer for it, else .npy."""
    suffix = f".{recording.source_format}"
    return suffix if suffix in WRITERS and suffix not in (".raw", ".h5") else ".npy"
