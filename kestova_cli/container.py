"""Plain Kestova container files (.kst): exactly one container, header read without decoding."""

from __future__ import annotations

import struct
from dataclasses import dataclass
from pathlib import Path

from .errors import UserError

# magic, version, format tag, method tag, levels, scale, coder, flags, sample count,
# minimum, maximum, normalised mean, payload length, reserved: 52 bytes, little-endian.
HEADER = struct.Struct("<4s2s2s4sBBBBIfffI16s")
METHODS = {b"cf97": "cdf97", b"cf53": "cdf53", b"db04": "db4", b"sym4": "sym4"}
CODERS = {0: "deflate", 1: "arans"}


@dataclass
class Header:
    method: str
    levels: int
    scale: int
    coder: str
    samples: int
    minimum: float
    maximum: float
    mean: float  # of the normalised samples
    payload_bytes: int

    @property
    def container_bytes(self) -> int:
        return HEADER.size + self.payload_bytes


def parse_header(name: str, data: bytes) -> Header:
    """The header of the container that `data` must hold exactly, judged as the decoder does."""
    if len(data) < HEADER.size or data[:4] != b"KSTV":
        raise UserError(f"{name}: not a Kestova container")
    (_, version, tag, method, levels, scale, coder, _, samples, minimum, maximum, mean, payload,
     _) = HEADER.unpack_from(data)
    if version[0] != 1 or tag != b"f3" or method not in METHODS or coder not in CODERS:
        raise UserError(f"{name}: unsupported Kestova header (version {version[0]}, "
                        f"format {tag!r}, method {method!r}, coder {coder})")
    header = Header(METHODS[method], levels, scale, CODERS[coder], samples, minimum, maximum,
                    mean, payload)
    if len(data) < header.container_bytes:
        raise UserError(f"{name}: truncated: the header announces {payload} payload bytes, "
                        f"the file holds {len(data) - HEADER.size}")
    if len(data) > header.container_bytes:
        raise UserError(f"{name}: {len(data) - header.container_bytes} bytes follow the "
                        f"container; a .kst file holds exactly one")
    return header


def describe(header: Header) -> list[str]:
    ratio = header.samples * 4 / header.container_bytes
    return [f"method: {header.method}", f"levels: {header.levels}", f"scale: {header.scale}",
            f"coder: {header.coder}", f"samples: {header.samples}",
            f"min: {header.minimum:.9g}", f"max: {header.maximum:.9g}",
            f"mean: {header.mean:.9g} (of the samples normalised to the range)",
            f"payload bytes: {header.payload_bytes}",
            f"ratio: {ratio:.2f} against float32 samples ({header.container_bytes} bytes)"]


def read_container(path: Path) -> tuple[Header, bytes]:
    data = path.read_bytes()
    return parse_header(str(path), data), data
