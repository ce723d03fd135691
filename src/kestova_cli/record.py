"""The record a .kst file carries after its container: what the command needs to give back what
it was given (the source's sample type and rate, a channel name where there is one).

A Kestova decoder ignores the bytes after the container (its header gives the payload's length),
so every decoder still reads the file as it is. Layout, little-endian, right after the container:
the magic "KSTR", a version byte (1), the body's length (uint32) and CRC-32 (uint32), then the
body: a UTF-8 JSON object. The file ends with the body. docs/format.md describes it for other
programs.
"""

from __future__ import annotations

import json
import struct
import zlib
from dataclasses import asdict, dataclass
from typing import Any, Optional, cast

from .recording import SAMPLE_TYPES

MAGIC = b"KSTR"
VERSION = 1
HEAD = struct.Struct("<4sBII")  # magic, version, body length, body CRC-32
SOURCE_FORMATS = ("wav", "npy", "raw", "flac", "w64", "rf64", "aiff", "audio", "edf", "bdf",
                  "mseed", "sac")
# Attributes of a source the command keeps beside the samples (in a store's attributes, in a
# record's "attributes"), to give them back to a writer of the same format.
KEPT_PREFIXES = ("wav_", "audio_", "edf_", "seismic_")


class DamagedRecord(Exception):
    """The bytes after a container are not a record this command can read."""


@dataclass
class Record:
    sample_type: str  # a value of SAMPLE_TYPES: what decompressing gives back
    rate: Optional[int]  # samples per second, when known
    source_format: str  # a value of SOURCE_FORMATS: the kind of file compressed
    name: Optional[str] = None  # the channel's name, when the source gives one
    encoder: Optional[str] = None  # the encoder that wrote the container, when known
    attributes: Optional[dict[str, Any]] = None  # the source's attributes kept (KEPT_PREFIXES)


def encode_record(record: Record) -> bytes:
    fields = {k: v for k, v in asdict(record).items() if v is not None}
    body = json.dumps(fields, separators=(",", ":"), sort_keys=True).encode()
    return HEAD.pack(MAGIC, VERSION, len(body), zlib.crc32(body)) + body


def decode_record(data: bytes) -> Record:
    """The record that `data` (every byte after the container) holds exactly; `DamagedRecord`
    with the reason otherwise."""
    if len(data) < HEAD.size or data[:4] != MAGIC:
        raise DamagedRecord(f"{len(data)} bytes follow the container, and they are not a "
                            f"Kestova record")
    _, version, length, crc = HEAD.unpack_from(data)
    if version != VERSION:
        raise DamagedRecord(f"record version {version}, this kestova reads version {VERSION}")
    body = data[HEAD.size:]
    if len(body) != length:
        raise DamagedRecord(f"the record announces {length} bytes, {len(body)} follow")
    if zlib.crc32(body) != crc:
        raise DamagedRecord("the record's checksum does not match")
    try:
        fields = json.loads(body.decode())
    except (UnicodeDecodeError, ValueError, RecursionError):
        raise DamagedRecord("the record's body is not JSON") from None
    return _checked(fields)


def _checked(fields: Any) -> Record:
    if not isinstance(fields, dict):
        raise DamagedRecord("the record's body is not a JSON object")
    # The types are checked below, field by field.
    record = Record(cast(str, fields.get("sample_type")), fields.get("rate"),
                    cast(str, fields.get("source_format")), fields.get("name"),
                    fields.get("encoder"), fields.get("attributes"))
    rate = record.rate
    if record.sample_type not in SAMPLE_TYPES:
        raise DamagedRecord(f"unknown sample type {record.sample_type!r}")
    if record.source_format not in SOURCE_FORMATS:
        raise DamagedRecord(f"unknown source format {record.source_format!r}")
    if rate is not None and (type(rate) is not int or not 0 < rate < 1 << 32):
        raise DamagedRecord(f"sample rate {rate!r} is not a whole number of 1 to 2^32 - 1 Hz")
    for key in ("name", "encoder"):
        if getattr(record, key) is not None and not isinstance(getattr(record, key), str):
            raise DamagedRecord(f"the {key} is not a string")
    if record.attributes is not None and not isinstance(record.attributes, dict):
        raise DamagedRecord("the attributes are not a JSON object")
    return record


# Kept attributes `info` shows, with their wording: the names and units of the channels, the
# start time.
_SHOWN = {"edf_labels": "channel names", "edf_units": "units", "seismic_ids": "traces",
          "edf_start": "start", "seismic_start": "start", "wav_channel_mask": "channel mask"}


def kept_lines(attributes: dict[str, Any]) -> list[str]:
    """The lines `info` prints for the source's attributes a store or record keeps."""
    lines = []
    for key, label in _SHOWN.items():
        value = attributes.get(key)
        if isinstance(value, list):
            value = ", ".join(map(str, value))
        elif key == "wav_channel_mask" and isinstance(value, int):
            value = f"0x{value:x}"
        if value not in (None, ""):
            lines.append(f"  {label}: {value}")
    return lines
