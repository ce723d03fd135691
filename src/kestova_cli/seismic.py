"""Seismic data through obspy (extra "seismic"): miniSEED and SAC. Traces of one rate, start
and length become one recording (channels x time), one array each in a store, with each
trace's network.station.location.channel, the start time, the rate and the miniSEED
encoding kept as attributes, so that decompressing writes the same traces. A channel with
gaps or overlaps is refused, with where they are: merging them is the user's choice.
obspy reads and writes a file whole, so these recordings are held in memory."""

from __future__ import annotations

from pathlib import Path
from typing import Any, Optional

import numpy as np

from .errors import UserError
from .extras import require
from .recording import Recording, in_memory

SUFFIXES = {".mseed": "MSEED", ".miniseed": "MSEED", ".sac": "SAC"}
# numpy type of a trace's samples -> the sample type it is kept as
_TYPES = {"int16": "int16", "int32": "int32", "float32": "float32", "float64": "float64"}


def read_seismic(path: Path, rate: Optional[int]) -> list[Recording]:
    obspy = require("obspy", str(path))
    if rate is not None:
        raise UserError(f"{path}: a {SUFFIXES[path.suffix.lower()]} file records its own "
                        f"sample rates; drop --rate")
    try:
        stream = obspy.read(str(path), format=SUFFIXES[path.suffix.lower()])
    except Exception as error:  # obspy's readers raise many kinds for a damaged file
        raise UserError(f"{path}: not a readable {SUFFIXES[path.suffix.lower()]} file "
                        f"({_reason(error)})") from None
    _refuse_gaps(path, stream)
    groups: dict[tuple[Any, ...], list[Any]] = {}
    for trace in stream:
        key = (float(trace.stats.sampling_rate), str(trace.stats.starttime), trace.stats.npts,
               trace.data.dtype.name)
        groups.setdefault(key, []).append(trace)
    parts, names = [], set()
    for (frequency, start, _, dtype), traces in groups.items():
        if dtype not in _TYPES:
            raise UserError(f"{path}: {traces[0].id}: samples of type {dtype}, not numbers "
                            f"Kestova stores")
        name = None
        if len(groups) > 1:
            name = f"signal_{frequency:g}Hz"
            while name in names:
                name += "_"
            names.add(name)
        samples = np.stack([np.asarray(t.data, dtype) for t in traces])
        encoding = getattr(traces[0].stats, "mseed", {}).get("encoding") \
            if "mseed" in traces[0].stats else None
        attributes = {"seismic_ids": [t.id for t in traces], "seismic_start": start,
                      "seismic_sampling_rate": frequency,
                      "seismic_encoding": encoding or ""}
        parts.append(in_memory(samples, _TYPES[dtype],
                               int(frequency) if frequency.is_integer() else None,
                               "sac" if path.suffix.lower() == ".sac" else "mseed",
                               len(traces) == 1 and len(groups) == 1,
                               attributes=attributes, name=name))
    if not parts:
        raise UserError(f"{path}: no traces")
    return parts


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
    source's miniSEED encoding where it holds the samples."""
    obspy = require("obspy", str(target))
    kind = SUFFIXES[target.suffix.lower()]
    traces = []
    for part in parts:
        kept = part.attributes
        frequency = kept.get("seismic_sampling_rate", part.rate)
        if frequency is None:
            raise UserError(f"{target}: the source records no sample rate; give one with --rate")
        ids = kept.get("seismic_ids")
        if not (isinstance(ids, list) and len(ids) == part.channels):
            ids = [f"..{c:02d}." for c in range(part.channels)]
        samples = part.read_all()
        for channel, trace_id in enumerate(ids):
            network, station, location, code = (trace_id.split(".") + ["", "", "", ""])[:4]
            header = {"network": network, "station": station, "location": location,
                      "channel": code, "sampling_rate": float(frequency)}
            if kept.get("seismic_start"):
                header["starttime"] = obspy.UTCDateTime(kept["seismic_start"])
            traces.append(obspy.Trace(np.ascontiguousarray(samples[channel]), header))
    if kind == "SAC" and len(traces) != 1:
        raise UserError(f"{target}: a SAC file holds one trace, and there are {len(traces)}; "
                        f"write .mseed instead")
    options = {}
    encoding = parts[0].attributes.get("seismic_encoding")
    if kind == "MSEED" and encoding and all(
            _holds(encoding, t.data.dtype) for t in traces):
        options["encoding"] = encoding
    try:
        obspy.Stream(traces).write(str(written), format=kind, **options)
    except Exception as error:
        raise UserError(f"{target}: obspy cannot write it ({_reason(error)})") from None


def _holds(encoding: str, dtype: np.dtype) -> bool:
    """Whether a miniSEED encoding holds samples of `dtype` as they are."""
    if encoding in ("STEIM1", "STEIM2", "INT32"):
        return dtype.kind == "i" and dtype.itemsize <= 4
    if encoding == "INT16":
        return dtype == np.int16
    return {"FLOAT32": np.float32, "FLOAT64": np.float64}.get(encoding) == dtype


def _reason(error: Exception) -> str:
    text = str(error).strip().splitlines()
    return text[0] if text else type(error).__name__
