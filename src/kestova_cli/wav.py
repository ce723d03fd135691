"""RIFF/WAVE files: PCM 8/16/24/32-bit integer and 32-bit float, plain or WAVE_FORMAT_EXTENSIBLE,
any channel count. Samples travel as (channels, frames) arrays of their own integer or float type;
24-bit samples are held in int32."""

from __future__ import annotations

import struct
from dataclasses import dataclass
from pathlib import Path
from typing import Callable, Iterable, Optional

import numpy as np

from .errors import UserError
from .file_frames import interleaved

PCM, FLOAT, EXTENSIBLE = 1, 3, 0xFFFE
# The 14 bytes that follow the format code in a WAVE_FORMAT_EXTENSIBLE subformat GUID.
_GUID_TAIL = bytes.fromhex("000000001000800000aa00389b71")
_FORMAT_NAMES = {PCM: "PCM integer", 2: "ADPCM", FLOAT: "IEEE float", 6: "A-law", 7: "mu-law"}

# (format code, bits per sample) -> sample type name, and back.
ENCODINGS = {(PCM, 8): "uint8", (PCM, 16): "int16", (PCM, 24): "int24", (PCM, 32): "int32",
             (FLOAT, 32): "float32"}
_FORMAT_OF = {name: key for key, name in ENCODINGS.items()}
_WIRE = {"uint8": "u1", "int16": "<i2", "int32": "<i4", "float32": "<f4"}
SUPPORTED = "PCM 8, 16, 24 or 32-bit integer and 32-bit float"


class OtherWav(UserError):
    """A file this reader leaves to libsndfile: another container (RF64, BW64) or encoding."""


@dataclass
class WavLayout:
    """Where a WAV file's samples lie and what they are."""
    channels: int
    rate: int
    sample_type: str  # a value of ENCODINGS
    data_offset: int  # of the first frame in the file
    frames: int
    channel_mask: Optional[int]  # WAVE_FORMAT_EXTENSIBLE's speaker positions, where given


# A data chunk's size as programs writing to a pipe leave it: they cannot seek back to fill it.
_UNKNOWN_SIZE = 0xFFFFFFFF
_STREAMED_SIZES = (0, _UNKNOWN_SIZE)


def read_layout(path: Path) -> WavLayout:
    """The layout of the WAV file `path`, from its header alone: the samples stay on disk.
    A data chunk of unknown size (0 or 0xFFFFFFFF, as streamed WAV writes it) runs to the end of
    the file."""
    file_size = path.stat().st_size
    with open(path, "rb") as file:
        head = file.read(1 << 16)
    if len(head) < 12 or head[:4] != b"RIFF" or head[8:12] != b"WAVE":
        raise OtherWav(f"{path}: not a RIFF/WAVE file")
    fmt, data_offset, data_size = _chunks(path, head, file_size)
    channels, rate, sample_type, frame_bytes, mask = _parse_format(path, fmt)
    riff_size = struct.unpack_from("<I", head, 4)[0]
    if riff_size in _STREAMED_SIZES and (data_size in _STREAMED_SIZES
                                        or data_offset + data_size > file_size) \
            or data_size == 0xFFFFFFFF:
        data_size = (file_size - data_offset) // frame_bytes * frame_bytes
    if data_offset + data_size > file_size:
        raise UserError(f"{path}: truncated: the 'data' chunk announces {data_size} bytes, the "
                        f"file holds {file_size - data_offset}")
    if data_size % frame_bytes:
        raise UserError(f"{path}: the data chunk holds {data_size} bytes, not a whole number of "
                        f"{frame_bytes}-byte frames")
    frames = data_size // frame_bytes
    if channels > frames:
        raise UserError(f"{path}: {channels} channels of {frames} frames each; expected at "
                        f"least as many frames as channels")
    return WavLayout(channels, rate, sample_type, data_offset, frames, mask)


@dataclass
class Wav:
    samples: np.ndarray  # (channels, frames), native byte order
    rate: int
    sample_type: str  # a value of ENCODINGS


def read_wav(path: Path) -> Wav:
    """The whole WAV file in memory (for tests and small files)."""
    layout = read_layout(path)
    return Wav(frame_reader(path, layout)(0, layout.frames), layout.rate, layout.sample_type)


def frame_reader(path: Path, layout: WavLayout) -> Callable[[int, int], np.ndarray]:
    """Reads frames [start, end) as (channels, n) samples of the layout's sample type."""
    if layout.sample_type != "int24":
        return interleaved(path, layout.data_offset, np.dtype(_WIRE[layout.sample_type]),
                           layout.channels, np.dtype(layout.sample_type))
    triples = interleaved(path, layout.data_offset, np.dtype((np.uint8, 3)), layout.channels,
                          np.dtype(np.uint8))

    def read(start: int, end: int) -> np.ndarray:
        b = triples(start, end).astype(np.int32)
        values = b[..., 0] | (b[..., 1] << 8) | (b[..., 2] << 16)
        return np.where(values >= 1 << 23, values - (1 << 24), values).astype(np.int32)
    return read


def _chunks(path: Path, head: bytes, file_size: int) -> tuple[bytes, int, int]:
    """The body of the "fmt " chunk, and the offset and announced size of the "data" chunk's
    body; chunks before "data" must lie in `head`, the file's first bytes."""
    fmt = None
    pos = 12
    while pos + 8 <= len(head):
        chunk_id = head[pos:pos + 4]
        (size,) = struct.unpack_from("<I", head, pos + 4)
        if chunk_id == b"data":
            if fmt is None:
                raise UserError(f"{path}: no 'fmt' chunk before the samples")
            return fmt, pos + 8, size
        if chunk_id == b"fmt ":
            fmt = head[pos + 8:pos + 8 + size]
            if len(fmt) < size:
                raise UserError(f"{path}: truncated: the 'fmt' chunk announces {size} bytes")
        pos += 8 + size + (size & 1)
    missing = "fmt" if fmt is None else "data"
    raise UserError(f"{path}: no {missing!r} chunk")


def _parse_format(path: Path, fmt: bytes) -> tuple[int, int, str, int, Optional[int]]:
    if len(fmt) < 16:
        raise UserError(f"{path}: the 'fmt' chunk is too short")
    code, channels, rate, _, block_align, bits = struct.unpack_from("<HHIIHH", fmt)
    mask = None
    if code == EXTENSIBLE:
        if len(fmt) < 40 or fmt[26:40] != _GUID_TAIL:
            raise OtherWav(f"{path}: unsupported WAV encoding (extensible, unknown subformat); "
                            f"supported: {SUPPORTED}")
        mask, code = struct.unpack_from("<IH", fmt, 20)
    sample_type = ENCODINGS.get((code, bits))
    if sample_type is None:
        name = _FORMAT_NAMES.get(code, f"format code {code}")
        raise OtherWav(f"{path}: unsupported WAV encoding ({name}, {bits}-bit); "
                        f"supported: {SUPPORTED}")
    if channels == 0 or rate == 0 or block_align != channels * bits // 8:
        raise UserError(f"{path}: inconsistent WAV format ({channels} channels, {rate} Hz, "
                        f"{block_align}-byte frames of {bits}-bit samples)")
    return channels, rate, sample_type, block_align, mask


# The largest size a RIFF header records (32 bits): a WAV file's bytes after its first 8.
RIFF_LIMIT = 0xFFFFFFFF


def _format_chunks(sample_type: str, channels: int, frames: int, rate: int,
                   channel_mask: Optional[int]) -> tuple[bytes, bytes]:
    """The "fmt " chunk's body, and the "fact" chunk (empty for PCM)."""
    code, bits = _FORMAT_OF[sample_type]
    block_align = channels * bits // 8
    fmt = struct.pack("<HHIIHH", EXTENSIBLE if channel_mask is not None else code, channels,
                      rate, rate * block_align, block_align, bits)
    if channel_mask is not None:
        fmt += struct.pack("<HHIH", 22, bits, channel_mask, code) + _GUID_TAIL
    elif code != PCM:
        fmt += struct.pack("<H", 0)  # no extension bytes follow
    fact = b"fact" + struct.pack("<II", 4, min(frames, _UNKNOWN_SIZE)) if code != PCM else b""
    return fmt, fact


def check_wav_fields(name: Path, channels: int, rate: int, sample_type: str) -> None:
    """Refuses, naming `name`, what the 16 and 32-bit fields of a WAV header cannot record."""
    bits = _FORMAT_OF[sample_type][1]
    if channels > 0xFFFF or rate * channels * bits // 8 > 0xFFFFFFFF:
        raise UserError(f"{name}: {channels} channels of {bits}-bit samples at {rate} Hz are "
                        f"past what a WAV header records (65535 channels, 4 GiB a second)")


def riff_size(channels: int, frames: int, sample_type: str,
              channel_mask: Optional[int] = None) -> int:
    """The size the RIFF header of such a WAV file records; above RIFF_LIMIT it needs RF64."""
    code, bits = _FORMAT_OF[sample_type]
    fmt = 16 + (24 if channel_mask is not None else 2 if code != PCM else 0)
    fact = 12 if code != PCM else 0
    size = frames * channels * bits // 8
    return 4 + 8 + fmt + fact + 8 + size + (size & 1)


def needs_rf64(channels: int, frames: int, sample_type: str,
               channel_mask: Optional[int] = None) -> bool:
    """Whether such a WAV file is past what a RIFF header records, and needs RF64's sizes."""
    return riff_size(channels, frames, sample_type, channel_mask) > RIFF_LIMIT


def write_wav(path: Path, samples: np.ndarray, rate: int, sample_type: str,
              channel_mask: Optional[int] = None) -> None:
    """Writes (channels, frames) samples, already of `sample_type`, as a WAV file."""
    write_wav_blocks(path, [samples], samples.shape[0], samples.shape[1], rate, sample_type,
                     channel_mask)


def write_wav_blocks(path: Path, blocks: Iterable[np.ndarray], channels: int, frames: int,
                     rate: int, sample_type: str, channel_mask: Optional[int] = None,
                     streamed: bool = False) -> None:
    """Writes (channels, n) blocks of samples, already of `sample_type`, `frames` in all, as a
    WAV file: PCM with the 16-byte "fmt " chunk, float with the extended 18-byte one and a
    "fact" chunk, as readers expect for encodings other than PCM; WAVE_FORMAT_EXTENSIBLE when a
    channel mask is given. `streamed` (a pipe, which cannot take RF64's sizes afterwards): past
    4 GiB the sizes are written 0xFFFFFFFF, unknown, as streamed WAV has them."""
    code, bits = _FORMAT_OF[sample_type]
    block_align = channels * bits // 8
    size = frames * block_align
    check_wav_fields(path, channels, rate, sample_type)
    fmt, fact = _format_chunks(sample_type, channels, frames, rate, channel_mask)
    pad = b"\0" * (size & 1)
    total = riff_size(channels, frames, sample_type, channel_mask)
    if needs_rf64(channels, frames, sample_type, channel_mask):
        if not streamed:
            raise UserError(f"{path}: {size} bytes of samples do not fit in a WAV file "
                            f"(4 GiB at most); write .rf64, .flac, .h5 or .npy instead")
        total = size = _UNKNOWN_SIZE
    with open(path, "wb") as out:
        out.write(b"RIFF" + struct.pack("<I", total) + b"WAVE")
        out.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt + fact)
        out.write(b"data" + struct.pack("<I", size))
        for samples in blocks:
            if sample_type == "int24":
                wire = np.ascontiguousarray(samples.T, dtype="<i4").view(np.uint8)
                wire = wire.reshape(-1, 4)[:, :3]
            else:
                wire = samples.T.astype(_WIRE[sample_type])
            out.write(np.ascontiguousarray(wire).tobytes())
        out.write(pad)
