"""A miniSEED file as its records. Walking the record headers (obspy's record information) finds
where each continuous trace's records lie and the first sample each holds, so that any stretch
of a trace is decoded by obspy from those records alone: reading a file of any length holds
the records of one block, not the file."""

from __future__ import annotations

import importlib
import io
from array import array
from bisect import bisect_left, bisect_right
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any

import numpy as np

from .errors import UserError


@dataclass
class RecordTrace:
    """Records of one id and rate whose samples follow on without a gap, in time order."""
    code: tuple[str, str, str, str]  # network, station, location, channel
    rate: float
    start_ns: int  # when its first sample was taken
    offsets: array[int] = field(default_factory=lambda: array("q"))  # where each record starts
    sizes: array[int] = field(default_factory=lambda: array("q"))  # its length in bytes
    # each record's first sample, then the trace's length
    firsts: array[int] = field(default_factory=lambda: array("q", [0]))
    next_start_ns: int = 0  # when a following record would start

    @property
    def npts(self) -> int:
        return int(self.firsts[-1])

    def add(self, offset: int, size: int, npts: int, start_ns: int) -> None:
        self.offsets.append(offset)
        self.sizes.append(size)
        self.firsts.append(self.firsts[-1] + npts)
        self.next_start_ns = start_ns + round(npts * 1e9 / self.rate)

    def extend(self, later: "RecordTrace") -> None:
        """Takes on the records of `later`, which follows on."""
        total = self.firsts[-1]
        self.offsets.extend(later.offsets)
        self.sizes.extend(later.sizes)
        self.firsts.extend(array("q", (total + first for first in later.firsts[1:])))
        self.next_start_ns = later.next_start_ns

    def follows_on(self, rate: float, start_ns: int) -> bool:
        """Whether a record starting at `start_ns` continues this trace: the same rate (to one
        part in 10^4) and a start within half a sample of where the trace ends."""
        return abs(1.0 - rate / self.rate) < 1e-4 and \
            abs(start_ns - self.next_start_ns) <= 0.5e9 / self.rate


def scan(path: Path, kind: str) -> list[RecordTrace]:
    """The file's continuous traces, in the order their first records come in the file. Each
    record joins its id's latest trace when it follows on; traces that follow on from one
    another (records out of time order) are joined at the end."""
    get_record_information = importlib.import_module(
        "obspy.io.mseed.util").get_record_information
    latest: dict[tuple[str, str, str, str], RecordTrace] = {}
    traces: list[RecordTrace] = []
    with open(path, "rb") as file:
        size = file.seek(0, io.SEEK_END)
        if size % 128:  # records are 2^n bytes long, n >= 7
            raise UserError(f"{path}: not a readable {kind} file ({size % 128} bytes beyond "
                            f"whole records: truncated?)")
        offset = 0
        while offset < size:
            try:
                # The record's header alone: obspy reads the record at the buffer's start,
                # and falls back to the file's first record when it finds none at a position.
                file.seek(offset)
                info = get_record_information(io.BytesIO(file.read(min(size - offset, 1024))))
            except Exception as error:  # obspy raises many kinds for a damaged header
                raise UserError(f"{path}: not a readable {kind} file (record at byte {offset}: "
                                f"{reason(error)})") from None
            length = int(info["record_length"])
            if length <= 0 or offset + length > size:
                raise UserError(f"{path}: not a readable {kind} file (the record at byte "
                                f"{offset} is cut short: truncated?)")
            npts, rate, start_ns = int(info["npts"]), float(info["samp_rate"]), \
                int(info["starttime"].ns)
            if npts > 0:
                code = (str(info["network"]).strip(), str(info["station"]).strip(),
                        str(info["location"]).strip(), str(info["channel"]).strip())
                if rate <= 0:
                    raise UserError(f"{path}: {'.'.join(code)}: records without a sample "
                                    f"rate (text or log records), not samples Kestova stores")
                trace = latest.get(code)
                if trace is None or not trace.follows_on(rate, start_ns):
                    trace = latest[code] = RecordTrace(code, rate, start_ns)
                    traces.append(trace)
                trace.add(offset, length, npts, start_ns)
            offset += length
    return _joined(traces)


def _joined(traces: list[RecordTrace]) -> list[RecordTrace]:
    """`traces` with those of one id that follow on from one another made one."""
    by_code: dict[tuple[str, str, str, str], list[RecordTrace]] = {}
    for trace in traces:
        by_code.setdefault(trace.code, []).append(trace)
    joined = []
    for same in by_code.values():
        same.sort(key=lambda t: t.start_ns)
        kept = [same[0]]
        for trace in same[1:]:
            if kept[-1].follows_on(trace.rate, trace.start_ns):
                kept[-1].extend(trace)
            else:
                kept.append(trace)
        joined.extend(kept)
    return sorted(joined, key=lambda t: t.offsets[0])


def decode(path: Path, kind: str, trace: RecordTrace, first: int, end: int) -> Any:
    """obspy's stream of the records of `trace` that hold samples [first, end), and the span
    of the trace's samples those records hold: (stream, held first, held end)."""
    obspy = importlib.import_module("obspy")
    low, high = bisect_right(trace.firsts, first) - 1, bisect_left(trace.firsts, end)
    pieces = []
    with open(path, "rb") as file:
        index = low
        while index < high:  # records that lie one after another are read in one go
            run_end = index + 1
            while run_end < high and trace.offsets[run_end] == \
                    trace.offsets[run_end - 1] + trace.sizes[run_end - 1]:
                run_end += 1
            file.seek(trace.offsets[index])
            pieces.append(file.read(trace.offsets[run_end - 1] + trace.sizes[run_end - 1]
                                    - trace.offsets[index]))
            index = run_end
    try:
        stream = obspy.read(io.BytesIO(b"".join(pieces)), format="MSEED")
    except Exception as error:
        raise UserError(f"{path}: not a readable {kind} file ({reason(error)})") from None
    if not stream:
        raise UserError(f"{path}: not a readable {kind} file ({'.'.join(trace.code)}: records "
                        f"without samples)")
    return stream, trace.firsts[low], trace.firsts[high]


def read_samples(path: Path, kind: str, trace: RecordTrace, first: int, end: int) -> np.ndarray:
    """Samples [first, end) of `trace`, decoded from its records by obspy."""
    stream, held_first, held_end = decode(path, kind, trace, first, end)
    parts = [t.data for t in sorted(stream, key=lambda t: t.stats.starttime)]
    samples = parts[0] if len(parts) == 1 else np.concatenate(parts or [np.empty(0)])
    if samples.size != held_end - held_first:
        raise UserError(f"{path}: {'.'.join(trace.code)}: records hold {samples.size} samples "
                        f"where their headers say {held_end - held_first}")
    return samples[first - held_first:end - held_first]


def reason(error: Exception) -> str:
    text = str(error).strip().splitlines()
    return text[0] if text else type(error).__name__
