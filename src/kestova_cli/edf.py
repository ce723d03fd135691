"""EDF and BDF files through pyedflib (extra "edf"): the digital samples (16-bit for EDF,
24-bit for BDF) are compressed as they are, with every signal's label, unit, physical and
digital range, prefilter and transducer, the rate and the start time kept as attributes, so
that decompressing writes an EDF or BDF file with the same header. Signals of different
rates become one recording each, one array per rate in a store."""

from __future__ import annotations

from datetime import datetime, timedelta
from pathlib import Path
from typing import Any, Callable, Iterator, Optional

import numpy as np

from .errors import UserError
from .extras import require
from .recording import Recording

SUFFIXES = (".edf", ".bdf")
# The per-signal header fields kept, pyedflib's name -> the attribute's (a list per signal).
_FIELDS = {"label": "edf_labels", "dimension": "edf_units", "physical_min": "edf_physical_min",
           "physical_max": "edf_physical_max", "digital_min": "edf_digital_min",
           "digital_max": "edf_digital_max", "prefilter": "edf_prefilters",
           "transducer": "edf_transducers"}


def read_edf(path: Path, rate: Optional[int]) -> list[Recording]:
    pyedflib = require("pyedflib", str(path))
    if rate is not None:
        raise UserError(f"{path}: an EDF or BDF file records its own sample rates; drop --rate")
    try:
        reader = pyedflib.EdfReader(str(path))
    except OSError as error:  # edflib's refusal: a bad header, record sizes that do not add up
        raise UserError(f"{path}: not a readable EDF or BDF file ({error})") from None
    bdf = reader.filetype in (pyedflib.FILETYPE_BDF, pyedflib.FILETYPE_BDFPLUS)
    sample_type, source_format = ("int24", "bdf") if bdf else ("int16", "edf")
    headers = reader.getSignalHeaders()
    lengths = reader.getNSamples()
    start = reader.getStartdatetime().isoformat()
    groups: dict[float, list[int]] = {}
    for index, header in enumerate(headers):
        groups.setdefault(float(header.get("sample_frequency", header.get("sample_rate"))),
                          []).append(index)
    parts = []
    for frequency, signals in sorted(groups.items()):
        length = int(min(lengths[i] for i in signals))
        attributes: dict[str, Any] = {
            attribute: [_plain(headers[i][name]) for i in signals]
            for name, attribute in _FIELDS.items()}
        attributes.update(edf_start=start, edf_sample_frequency=frequency,
                          edf_signals=[int(i) for i in signals])
        parts.append(Recording(
            len(signals), length, sample_type,
            int(frequency) if frequency.is_integer() else None, source_format, False,
            _signal_reader(path, reader, signals), attributes,
            name=None if len(groups) == 1 else f"signal_{frequency:g}Hz"))
    if not parts:
        raise UserError(f"{path}: no signals")
    return parts


def _signal_reader(path: Path, reader: Any,
                   signals: list[int]) -> Callable[[int, int], np.ndarray]:
    def read(start: int, end: int) -> np.ndarray:
        block = np.empty((len(signals), end - start), np.int32)
        for row, signal in enumerate(signals):
            values = reader.readSignal(signal, start, end - start, digital=True)
            if values.size != end - start:
                raise UserError(f"{path}: signal {signal} ends {end - start - values.size} "
                                f"samples early")
            block[row] = values
        return block
    return read


def write_edf(target: Path, written: Path, recording: Recording) -> None:
    write_edf_parts(target, written, [recording])


def write_edf_parts(target: Path, written: Path, parts: list[Recording]) -> None:
    """Writes recordings of one time span (one per rate, as `read_edf` gave them) as one EDF+
    (16-bit) or BDF+ (24-bit) file: the signals in the source's order, with the headers the
    source had where they were kept."""
    pyedflib = require("pyedflib", str(target))
    bdf = target.suffix.lower() == ".bdf"
    allowed = ("int24", "int16", "int8", "uint8") if bdf else ("int16", "int8", "uint8")
    for part in parts:
        if part.sample_type not in allowed:
            raise UserError(f"{target}: {'BDF' if bdf else 'EDF'} holds "
                            f"{'24' if bdf else '16'}-bit samples, not {part.sample_type}; "
                            f"write .h5 or .npy instead")
        if part.attributes.get("edf_sample_frequency", part.rate) is None:
            raise UserError(f"{target}: the source records no sample rate; give one with --rate")
    # (part, row) of every signal, in the source's order where it was kept
    order = sorted(((p, r) for p, part in enumerate(parts) for r in range(part.channels)),
                   key=lambda pr: _source_index(parts[pr[0]], pr[1]))
    headers = {pr: h for p, part in enumerate(parts)
               for pr, h in zip(((p, r) for r in range(part.channels)), _headers(part, bdf))}
    kind = pyedflib.FILETYPE_BDFPLUS if bdf else pyedflib.FILETYPE_EDFPLUS
    writer = pyedflib.EdfWriter(str(written), len(order), kind)
    try:
        writer.setSignalHeaders([headers[pr] for pr in order])
        start = parts[0].attributes.get("edf_start")
        if start is not None:  # a selection starts later than its source
            frequency = parts[0].attributes.get("edf_sample_frequency", parts[0].rate)
            offset = parts[0].first_frame / float(frequency) if frequency else 0.0
            writer.setStartdatetime(datetime.fromisoformat(start) + timedelta(seconds=offset))
        per_record = {}
        for index, (p, _) in enumerate(order):
            per_record[p] = writer.get_smp_per_record(index)
        records = max(-(-part.length // per_record[p]) for p, part in enumerate(parts))
        feeds = [_records(part, per_record[p]) for p, part in enumerate(parts)]
        for _ in range(records):
            blocks = [next(feed) for feed in feeds]
            # decoded values stay within each signal's digital range, as EDF requires
            record = np.concatenate([np.clip(blocks[p][r], headers[p, r]["digital_min"],
                                             headers[p, r]["digital_max"]) for p, r in order])
            if writer.blockWriteDigitalSamples(np.ascontiguousarray(record, np.int32)) < 0:
                raise OSError(f"{target}: edflib could not write a data record")
    finally:
        writer.close()


def _source_index(part: Recording, row: int) -> int:
    signals = part.attributes.get("edf_signals")
    return signals[row] if isinstance(signals, list) and len(signals) == part.channels else row


def _records(part: Recording, per_record: int) -> Iterator[np.ndarray]:
    """(channels, per_record) blocks of `part`'s samples, the last one filled with zeros, and
    zeros after its end (a part shorter than the others)."""
    pending = np.empty((part.channels, 0), np.int32)
    for _, block in part.blocks():
        pending = np.concatenate([pending, block.astype(np.int32)], axis=1)
        while pending.shape[1] >= per_record:
            yield pending[:, :per_record]
            pending = pending[:, per_record:]
    last = np.zeros((part.channels, per_record), np.int32)
    last[:, :pending.shape[1]] = pending
    yield last
    while True:
        yield np.zeros((part.channels, per_record), np.int32)


def _headers(recording: Recording, bdf: bool) -> list[dict[str, Any]]:
    kept = recording.attributes
    recorded = kept.get("edf_sample_frequency", recording.rate)
    if recorded is None:
        raise UserError("an EDF or BDF file needs a sample rate, and the source records none: "
                        "give --rate")
    rate = float(recorded)
    top = (1 << 23) - 1 if bdf else (1 << 15) - 1
    defaults = {"label": [f"ch{c}" for c in range(recording.channels)],
                "dimension": [""] * recording.channels,
                "physical_min": [-top - 1.0] * recording.channels,
                "physical_max": [float(top)] * recording.channels,
                "digital_min": [-top - 1] * recording.channels,
                "digital_max": [top] * recording.channels,
                "prefilter": [""] * recording.channels, "transducer": [""] * recording.channels}
    values = {name: kept.get(attribute, defaults[name]) for name, attribute in _FIELDS.items()}
    if any(len(v) != recording.channels for v in values.values()):
        values = defaults  # attributes of another recording: not this one's signals
    return [{**{name: values[name][c] for name in _FIELDS}, "sample_frequency": rate}
            for c in range(recording.channels)]


def _plain(value: Any) -> Any:
    return value.item() if isinstance(value, np.generic) else value
