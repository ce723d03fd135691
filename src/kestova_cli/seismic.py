"""Seismic data through obspy (extra "seismic"): miniSEED and SAC. Traces of one rate, start
and length become one recording (channels x time), one array each in a store, with each
trace's network.station.location.channel, the start time, the rate and the miniSEED
encoding kept as attributes, so that decompressing writes the same traces. A channel with
gaps or overlaps is refused, with where they are: merging them is the user's choice.
miniSEED is read and written a block at a time, as whole records (mseed_records); a SAC file
holds one trace, read and written whole."""

from __future__ import annotations

import io
from dataclasses import dataclass
from functools import partial
from pathlib import Path
from typing import Any, Callable, Optional

import numpy as np

from . import mseed_records
from .errors import UserError
from .extras import require
from .mseed_records import reason as _reason
from .recording import Recording, numpy_type

SUFFIXES = {".mseed": "MSEED", ".miniseed": "MSEED", ".sac": "SAC"}
# numpy type of a trace's samples -> the sample type it is kept as
_TYPES = {"int16": "int16", "int32": "int32", "float32": "float32", "float64": "float64"}


@dataclass
class _Trace:
    """One continuous trace as a store keeps it, and how to read any stretch of its samples."""
    id: str
    rate: float
    start: str
    npts: int
    dtype: str
    encoding: str
    read: Callable[[int, int], np.ndarray]  # (first, end) -> samples [first, end)


def read_seismic(path: Path, rate: Optional[int]) -> list[Recording]:
    obspy = require("obspy", str(path))
    kind = SUFFIXES[path.suffix.lower()]
    if rate is not None:
        raise UserError(f"{path}: a {kind} file records its own sample rates; drop --rate")
    traces = _mseed_traces(obspy, path, kind) if kind == "MSEED" else \
        _whole_traces(obspy, path, kind)
    return _recordings(path, traces, "sac" if kind == "SAC" else "mseed")


def _whole_traces(obspy: Any, path: Path, kind: str) -> list[_Trace]:
    try:
        stream = obspy.read(str(path), format=kind)
    except Exception as error:  # obspy's readers raise many kinds for a damaged file
        raise UserError(f"{path}: not a readable {kind} file ({_reason(error)})") from None
    _refuse_gaps(path, stream)
    return [_Trace(t.id, float(t.stats.sampling_rate), str(t.stats.starttime), t.stats.npts,
                   t.data.dtype.name, "", partial(_stretch, t.data)) for t in stream]


def _stretch(data: np.ndarray, first: int, end: int) -> np.ndarray:
    return data[first:end]


def _mseed_traces(obspy: Any, path: Path, kind: str) -> list[_Trace]:
    found = mseed_records.scan(path, kind)
    # the traces' headers alone, for obspy to find gaps and overlaps in
    _refuse_gaps(path, obspy.Stream([_header_only(obspy, t) for t in found]))
    traces = []
    for trace in found:
        stream, _, _ = mseed_records.decode(path, kind, trace, 0, 1)  # its first record
        head = stream[0]
        encoding = head.stats.mseed.encoding
        # obspy gives 16-bit samples as int32; kept as int16, they come back in their encoding
        dtype = "int16" if encoding == "INT16" else head.data.dtype.name
        traces.append(_Trace(head.id, float(head.stats.sampling_rate), str(head.stats.starttime),
                             trace.npts, dtype, encoding,
                             partial(mseed_records.read_samples, path, kind, trace)))
    return traces


def _header_only(obspy: Any, trace: mseed_records.RecordTrace) -> Any:
    network, station, location, channel = trace.code
    header = obspy.Trace(np.empty(0, np.int32), {
        "network": network, "station": station, "location": location, "channel": channel,
        "sampling_rate": trace.rate, "starttime": obspy.UTCDateTime(ns=trace.start_ns)})
    header.stats.npts = trace.npts
    return header


def _recordings(path: Path, traces: list[_Trace], source_format: str) -> list[Recording]:
    groups: dict[tuple[Any, ...], list[_Trace]] = {}
    for trace in traces:
        groups.setdefault((trace.rate, trace.start, trace.npts, trace.dtype), []).append(trace)
    parts, names = [], set()
    for (frequency, start, length, dtype), members in groups.items():
        if dtype not in _TYPES:
            raise UserError(f"{path}: {members[0].id}: samples of type {dtype}, not numbers "
                            f"Kestova stores")
        name = None
        if len(groups) > 1:
            name = f"signal_{frequency:g}Hz"
            while name in names:
                name += "_"
            names.add(name)
        attributes = {"seismic_ids": [t.id for t in members], "seismic_start": start,
                      "seismic_sampling_rate": frequency,
                      "seismic_encoding": members[0].encoding or ""}
        parts.append(Recording(len(members), length, _TYPES[dtype],
                               int(frequency) if frequency.is_integer() else None,
                               source_format, len(members) == 1 and len(groups) == 1,
                               partial(_rows, members, dtype), attributes, name=name))
    if not parts:
        raise UserError(f"{path}: no traces")
    return parts


def _rows(traces: list[_Trace], dtype: str, first: int, end: int) -> np.ndarray:
    block = np.empty((len(traces), end - first), dtype)
    for row, trace in enumerate(traces):
        block[row] = trace.read(first, end)
    return block


def _refuse_gaps(path: Path, stream: Any) -> None:
    gaps = stream.get_gaps()
    if gaps:
        first = gaps[0]
        kinds = ["overlap" if g[6] < 0 else "gap" for g in gaps]
        counts = ", ".join(f"{kinds.count(k)} {k}{'s' if kinds.count(k) > 1 else ''}"
                           for k in ("gap", "overlap") if k in kinds)
        raise UserError(f"{path}: {counts} (the first in {'.'.join(first[:4])} at {first[4]}); "
                        f"refusing to fill or drop samples: merge the traces first "
                        f"(obspy: stream.merge(fill_value=...))")


def write_seismic(target: Path, written: Path, recording: Recording) -> None:
    write_seismic_parts(target, written, [recording])


def write_seismic_parts(target: Path, written: Path, parts: list[Recording]) -> None:
    """Writes the recordings' channels as traces: their ids, start and rate as kept, in the
    source's miniSEED encoding where it holds the samples. miniSEED is written a block at a
    time, each block's traces packed by obspy into whole records appended to the file."""
    obspy = require("obspy", str(target))
    kind = SUFFIXES[target.suffix.lower()]
    headers = [_trace_headers(obspy, target, part) for part in parts]
    if kind == "SAC":
        count = sum(part.channels for part in parts)
        if count != 1:
            raise UserError(f"{target}: a SAC file holds one trace, and there are {count}; "
                            f"write .mseed instead")
        (part, header), = [(p, h[0]) for p, h in zip(parts, headers) if p.channels]
        _write(target, obspy.Trace(np.ascontiguousarray(part.read_all()[0]), header), written,
               kind, {})
        return
    options = {}
    encoding = parts[0].attributes.get("seismic_encoding")
    if encoding and all(_holds(encoding, numpy_type(p.sample_type)) for p in parts):
        options["encoding"] = encoding
    with open(written, "wb") as file:
        for part, part_headers in zip(parts, headers):
            dtype = numpy_type(part.sample_type)
            for first, block in part.blocks():
                for row, header in enumerate(part_headers):  # a trace at a time: few copies
                    trace = obspy.Trace(np.ascontiguousarray(block[row], dtype), {
                        **header,
                        "starttime": header["starttime"] + first / header["sampling_rate"]})
                    records = io.BytesIO()
                    _write(target, trace, records, kind, options)
                    file.write(records.getbuffer())


def _trace_headers(obspy: Any, target: Path, part: Recording) -> list[dict[str, Any]]:
    """obspy's header of each of `part`'s channels: its id, start and rate as kept."""
    kept = part.attributes
    frequency = kept.get("seismic_sampling_rate", part.rate)
    if frequency is None:
        raise UserError(f"{target}: the source records no sample rate; give one with --rate")
    ids = kept.get("seismic_ids")
    if not (isinstance(ids, list) and len(ids) == part.channels):
        ids = [f"..{c:02d}." for c in range(part.channels)]
    start = obspy.UTCDateTime(kept["seismic_start"]) if kept.get("seismic_start") else \
        obspy.UTCDateTime(0)
    start += part.first_frame / float(frequency)  # a selection starts later than its source
    headers = []
    for trace_id in ids:
        network, station, location, code = (trace_id.split(".") + ["", "", "", ""])[:4]
        headers.append({"network": network, "station": station, "location": location,
                        "channel": code, "sampling_rate": float(frequency), "starttime": start})
    return headers


def _write(target: Path, traces: Any, where: Any, kind: str, options: dict[str, str]) -> None:
    try:
        traces.write(where if isinstance(where, io.BytesIO) else str(where), format=kind,
                     **options)
    except Exception as error:
        raise UserError(f"{target}: obspy cannot write it ({_reason(error)})") from None


def _holds(encoding: str, dtype: np.dtype) -> bool:
    """Whether a miniSEED encoding holds samples of `dtype` as they are."""
    if encoding in ("STEIM1", "STEIM2", "INT32"):
        return dtype.kind == "i" and dtype.itemsize <= 4
    if encoding == "INT16":
        return dtype == np.int16
    return {"FLOAT32": np.float32, "FLOAT64": np.float64}.get(encoding) == dtype

