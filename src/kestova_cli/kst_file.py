"""Kestova files (.kst): one Kestova stream of either version, then optionally the command's
record of its source. The header is read through the codec's own header reader of its version,
without decoding (a version-2 header is read with its checksum checked)."""

from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path
from typing import TYPE_CHECKING, Optional, Union, cast

from kestova_codecs.chunk import version_of
from kestova_codecs.signal_stream import stream_info, stream_length
from kestova_codecs.tables import HEADER_SIZE, read_header

if TYPE_CHECKING:
    from kestova_codecs._binding import Header, V2Header

from .errors import UserError
from .files import require_file
from .record import DamagedRecord, Record, decode_record, encode_record, kept_lines


@dataclass
class KstFile:
    header: Union[Header, V2Header]  # read_header's fields (version 1) or stream_info's
    container: bytes
    record: Optional[Record]  # None when the file holds the container alone
    damage: Optional[str] = None  # why the bytes after the container are not a record

    def require_record_intact(self, name: str) -> None:
        if self.damage is not None:
            raise UserError(f"{name}: damaged record after the container ({self.damage}); the "
                            f"container itself is intact: kestova.decompress_signal reads it")


def read_kst(path: Path) -> KstFile:
    require_file(path)
    data = path.read_bytes()
    if version_of(data) == 2:
        return _read_v2(path, data)
    try:
        header = read_header(data)
    except ValueError as error:
        raise UserError(f"{path}: not a Kestova container ({error})") from None
    end = header["container_bytes"]
    if len(data) < end:
        raise UserError(f"{path}: truncated: the header announces {header['payload_bytes']} "
                        f"payload bytes, the file holds {max(len(data) - HEADER_SIZE, 0)}")
    return _with_record(header, data, end)


def _read_v2(path: Path, data: bytes) -> KstFile:
    try:  # framing and checksum: a damaged or truncated stream is refused here
        header = stream_info(data[:stream_length(data)])
    except ValueError as error:
        raise UserError(f"{path}: not an intact version-2 Kestova stream ({error})") from None
    end = header["stream_bytes"]
    return _with_record(header, data, end)


def _with_record(header: Union[Header, V2Header], data: bytes, end: int) -> KstFile:
    """The stream `data[:end]` and the record after it, if any (damage noted, not raised)."""
    record, damage = None, None
    if len(data) > end:
        try:
            record = decode_record(data[end:])
        except DamagedRecord as error:
            damage = str(error)
    return KstFile(header, data[:end], record, damage)


def kst_bytes(container: bytes, record: Record) -> bytes:
    return container + encode_record(record)


def _describe_header(h: Union[Header, V2Header]) -> list[str]:
    if "stream_bytes" in h:
        return _describe_v2(cast("V2Header", h))
    return _describe_v1(h)


def _describe_v2(h: V2Header) -> list[str]:
    ratio = h["samples"] * 4 / h["stream_bytes"]
    return ["version: 2", f"element type: {h['element_type']}",
            f"method: {h['method']}", f"coder: {h['coder']}", f"samples: {h['samples']}",
            f"step: {h['step']:.9g}", f"origin: {h['origin']:.9g}",
            f"checksum: {h['checksum']}", f"payload bytes: {h['payload_bytes']}",
            f"ratio: {ratio:.2f} against float32 samples ({h['stream_bytes']} bytes)"]


def _describe_v1(h: Header) -> list[str]:
    ratio = h["samples"] * 4 / h["container_bytes"]
    return ["version: 1", f"method: {h['method']}", f"levels: {h['levels']}",
            f"scale: {h['scale']}", f"coder: {h['coder']}", f"samples: {h['samples']}",
            f"min: {h['minimum']:.9g}", f"max: {h['maximum']:.9g}",
            f"mean: {h['mean']:.9g} (of the samples normalised to the range)",
            f"payload bytes: {h['payload_bytes']}",
            f"ratio: {ratio:.2f} against float32 samples ({h['container_bytes']} bytes)"]


def describe(kst: KstFile) -> list[str]:
    lines = _describe_header(kst.header)
    record = kst.record
    if kst.damage is not None:
        lines.append(f"record: damaged ({kst.damage})")
    elif record is None:
        lines.append("record: none (source type and rate unknown)")
    else:
        rate = f"{record.rate} Hz" if record.rate else "not recorded"
        lines += [f"source: {record.source_format}, {record.sample_type}",
                  f"sample rate: {rate}"]
        if record.name is not None:
            lines.append(f"channel: {record.name}")
        if record.encoder is not None:
            lines.append(f"encoder: {record.encoder}")
        lines += [line.strip() for line in kept_lines(record.attributes or {})]
    return lines
