"""RIFF/WAVE files: PCM 8/16/24/32-bit integer and 32-bit float, plain or WAVE_FORMAT_EXTENSIBLE,
any channel count. Samples travel as (channels, frames) arrays of their own integer or float type;
24-bit samples are held in int32."""

from __future__ import annotations

import struct
from dataclasses import dataclass
from pathlib import Path

import numpy as np

from .errors import UserError

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


@dataclass
class Wav:
    samples: np.ndarray  # (channels, frames), native byte order
    rate: int
    sample_type: str  # a value of ENCODINGS


def read_wav(path: Path) -> Wav:
    data = path.read_bytes()
    if len(data) < 12 or data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise UserError(f"{path}: not a RIFF/WAVE file")
    fmt, pcm = _chunks(path, data)
    channels, rate, sample_type, frame_bytes = _parse_format(path, fmt)
    if len(pcm) % frame_bytes:
        raise UserError(f"{path}: the data chunk holds {len(pcm)} bytes, not a whole number of "
                        f"{frame_bytes}-byte frames")
    frames = len(pcm) // frame_bytes
    if channels > frames:
        raise UserError(f"{path}: {channels} channels of {frames} frames each; expected at "
                        f"least as many frames as channels")
    if sample_type == "int24":
        b = np.frombuffer(pcm, np.uint8).reshape(-1, 3).astype(np.int32)
        values = b[:, 0] | (b[:, 1] << 8) | (b[:, 2] << 16)
        values = np.where(values >= 1 << 23, values - (1 << 24), values).astype(np.int32)
    else:
        values = np.frombuffer(pcm, _WIRE[sample_type]).astype(sample_type)
    return Wav(np.ascontiguousarray(values.reshape(-1, channels).T), rate, sample_type)


def _chunks(path: Path, data: bytes) -> tuple[bytes, bytes]:
    """The bodies of the "fmt " and "data" chunks."""
    found: dict[bytes, bytes] = {}
    pos = 12
    while pos + 8 <= len(data) and len(found) < 2:
        chunk_id = data[pos:pos + 4]
        (size,) = struct.unpack_from("<I", data, pos + 4)
        body = data[pos + 8:pos + 8 + size]
        if chunk_id in (b"fmt ", b"data"):
            if len(body) < size:
                raise UserError(f"{path}: truncated: the {chunk_id.decode().strip()!r} chunk "
                                f"announces {size} bytes, the file holds {len(body)}")
            found.setdefault(chunk_id, body)
        pos += 8 + size + (size & 1)
    for chunk_id in (b"fmt ", b"data"):
        if chunk_id not in found:
            raise UserError(f"{path}: no {chunk_id.decode().strip()!r} chunk")
    return found[b"fmt "], found[b"data"]


def _parse_format(path: Path, fmt: bytes) -> tuple[int, int, str, int]:
    if len(fmt) < 16:
        raise UserError(f"{path}: the 'fmt' chunk is too short")
    code, channels, rate, _, block_align, bits = struct.unpack_from("<HHIIHH", fmt)
    if code == EXTENSIBLE:
        if len(fmt) < 40 or fmt[26:40] != _GUID_TAIL:
            raise UserError(f"{path}: unsupported WAV encoding (extensible, unknown subformat); "
                            f"supported: {SUPPORTED}")
        (code,) = struct.unpack_from("<H", fmt, 24)
    sample_type = ENCODINGS.get((code, bits))
    if sample_type is None:
        name = _FORMAT_NAMES.get(code, f"format code {code}")
        raise UserError(f"{path}: unsupported WAV encoding ({name}, {bits}-bit); "
                        f"supported: {SUPPORTED}")
    if channels == 0 or rate == 0 or block_align != channels * bits // 8:
        raise UserError(f"{path}: inconsistent WAV format ({channels} channels, {rate} Hz, "
                        f"{block_align}-byte frames of {bits}-bit samples)")
    return channels, rate, sample_type, block_align


def write_wav(path: Path, samples: np.ndarray, rate: int, sample_type: str) -> None:
    """Writes (channels, frames) samples, already of `sample_type`, as a plain WAV file: PCM with
    the 16-byte "fmt " chunk, float with the extended 18-byte one and a "fact" chunk, as readers
    expect for encodings other than PCM."""
    code, bits = _FORMAT_OF[sample_type]
    channels = samples.shape[0]
    if sample_type == "int24":
        wire = np.ascontiguousarray(samples.T, dtype="<i4").view(np.uint8).reshape(-1, 4)[:, :3]
    else:
        wire = samples.T.astype(_WIRE[sample_type])
    pcm = np.ascontiguousarray(wire).tobytes()
    if len(pcm) > 0xFFFFFFFF - 36:
        raise UserError(f"{path}: {len(pcm)} bytes of samples do not fit in a WAV file "
                        f"(4 GiB at most); write .npy instead")
    block_align = channels * bits // 8
    fmt = struct.pack("<HHIIHH", code, channels, rate, rate * block_align, block_align, bits)
    fact = b""
    if code != PCM:
        fmt += struct.pack("<H", 0)  # no extension bytes follow
        fact = b"fact" + struct.pack("<II", 4, samples.shape[1])
    pad = b"\0" * (len(pcm) & 1)
    with open(path, "wb") as out:
        size = 4 + 8 + len(fmt) + len(fact) + 8 + len(pcm) + len(pad)
        out.write(b"RIFF" + struct.pack("<I", size) + b"WAVE")
        out.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt + fact)
        out.write(b"data" + struct.pack("<I", len(pcm)))
        out.write(pcm)
        out.write(pad)
