"""miniSEED read and written a block at a time: every block of every trace is what obspy reads
from the whole file, traces written a block at a time read back whole, and damaged files, gaps
and overlaps between records are refused in one line."""

from __future__ import annotations

import io
from dataclasses import replace

import numpy as np
import pytest

from cli_support import assert_refused, max_relative_error, run

TOLERANCE = 5e-3  # of the range, at the default scale 11
START = "2024-05-01T00:00:00.000000Z"


def _obspy():
    return pytest.importorskip("obspy")


def _trace(obspy, station, n, dtype="int32", rate=100.0, channel="HHZ", shift=0.0):
    values = np.sin(np.arange(n) / (30 + len(station))) * 3000 + np.arange(n) % 17
    return obspy.Trace(values.astype(dtype), {
        "network": "XX", "station": station, "location": "00", "channel": channel,
        "sampling_rate": rate, "starttime": obspy.UTCDateTime(START) + shift})


def _write(obspy, path, traces, encoding="STEIM2", reclen=4096, interleaved=False):
    """As obspy writes them; interleaved: 3000 samples of every trace in turn, as a digitiser
    streams them, so that one trace's records are spread over the file."""
    step = max(t.stats.npts for t in traces) if not interleaved else 3000
    with open(path, "wb") as out:
        for first in range(0, max(t.stats.npts for t in traces), step):
            pieces = [obspy.Trace(t.data[first:first + step], {
                **{k: t.stats[k] for k in ("network", "station", "location", "channel",
                                           "sampling_rate")},
                "starttime": t.stats.starttime + first / t.stats.sampling_rate})
                for t in traces if first < t.stats.npts]
            records = io.BytesIO()
            obspy.Stream(pieces).write(records, format="MSEED", encoding=encoding,
                                       reclen=reclen)
            out.write(records.getvalue())


def _described(stream):
    return sorted((t.id, t.stats.starttime, t.stats.sampling_rate, t.stats.npts,
                   t.stats.mseed.encoding, t.data.dtype.name) for t in stream)


# (encoding, numpy type, record length, records of the traces interleaved)
LAYOUTS = [("STEIM2", "int32", 4096, False), ("STEIM1", "int32", 512, True),
           ("INT16", "int16", 512, False), ("FLOAT32", "float32", 1024, True),
           ("FLOAT64", "float64", 256, False)]


@pytest.mark.parametrize("encoding, dtype, reclen, interleaved", LAYOUTS)
def test_blocks_are_the_whole_files_traces_both_ways(tmp_path, encoding, dtype, reclen,
                                                     interleaved):
    obspy = _obspy()
    from kestova_cli.seismic import read_seismic, write_seismic_parts

    traces = [_trace(obspy, "ST0", 25_000, dtype), _trace(obspy, "ST1", 25_000, dtype),
              _trace(obspy, "ST0", 400, dtype, rate=1.0, channel="LHZ")]
    _write(obspy, tmp_path / "a.mseed", traces, encoding, reclen, interleaved)
    whole = obspy.read(str(tmp_path / "a.mseed"))
    by_id = {t.id: t.data for t in whole}
    parts = read_seismic(tmp_path / "a.mseed", None)
    assert [p.attributes["seismic_ids"] for p in parts] == \
        [["XX.ST0.00.HHZ", "XX.ST1.00.HHZ"], ["XX.ST0.00.LHZ"]]
    for part in parts:
        assert (part.attributes["seismic_start"], part.attributes["seismic_encoding"]) == \
            (START, encoding)
        expected = np.stack([by_id[i] for i in part.attributes["seismic_ids"]])
        for frames in (997, 4096, part.length):
            blocks = np.concatenate([b for _, b in part.blocks(frames)], axis=1)
            np.testing.assert_array_equal(blocks, expected)
    # written 997 frames at a time, read back as one trace each, exactly
    written = tmp_path / "b.mseed"
    write_seismic_parts(written, written, [replace(p, block_frames=997) for p in parts])
    back = obspy.read(str(written))
    assert _described(back) == _described(whole)
    for trace in back:
        np.testing.assert_array_equal(trace.data, by_id[trace.id])


def test_traces_longer_than_a_block_round_trip_through_a_store(tmp_path):
    obspy = _obspy()
    pytest.importorskip("zarr")
    traces = [_trace(obspy, f"ST{i}", 1_200_000) for i in range(2)]  # a block is 2^20 frames
    _write(obspy, tmp_path / "a.mseed", traces, interleaved=True)
    for args in (["compress", "a.mseed", "-o", "a.zarr"],
                 ["decompress", "a.zarr", "-o", "b.mseed"]):
        result = run(*args, cwd=tmp_path)
        assert result.returncode == 0, result.stderr
    original, back = obspy.read(str(tmp_path / "a.mseed")), obspy.read(str(tmp_path / "b.mseed"))
    assert _described(back) == _described(original)
    decoded = {t.id: t.data for t in back}
    for trace in original:
        assert max_relative_error(trace.data, decoded[trace.id]) <= TOLERANCE
    # a selection starts when its first sample was taken
    result = run("decompress", "a.zarr", "--channels", "1", "--start", "10000s", "--end",
                 "10010s", "-o", "c.mseed", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    (part,) = obspy.read(str(tmp_path / "c.mseed"))
    assert (part.id, part.stats.starttime, part.stats.npts) == \
        ("XX.ST1.00.HHZ", original[0].stats.starttime + 10_000, 1000)
    np.testing.assert_array_equal(part.data, decoded["XX.ST1.00.HHZ"][1_000_000:1_001_000])


# (where the second half of a trace starts after the first ends, in seconds; the refusal)
JOINS = [(100.0, "1 gap"), (-10.0, "1 overlap"), (0.0, None)]


@pytest.mark.parametrize("after, refusal", JOINS)
def test_records_join_across_writes_in_any_order_or_are_refused(tmp_path, after, refusal):
    obspy = _obspy()
    first = _trace(obspy, "ST0", 12_000)
    second = _trace(obspy, "ST0", 12_000, shift=120.0 + after)
    second.data = second.data[::-1].copy()
    _write(obspy, tmp_path / "b.mseed", [second], reclen=512)  # the later half first
    _write(obspy, tmp_path / "a.mseed", [first], reclen=512)
    with open(tmp_path / "a.mseed", "ab") as out:
        out.write((tmp_path / "b.mseed").read_bytes())
    result = run("compress", "a.mseed", "-o", "a.kst", cwd=tmp_path)
    if refusal is not None:
        assert_refused(result)
        assert refusal in result.stderr and "XX.ST0.00.HHZ" in result.stderr
        return
    assert result.returncode == 0, result.stderr
    assert run("decompress", "a.kst", "-o", "c.mseed", cwd=tmp_path).returncode == 0
    (back,) = obspy.read(str(tmp_path / "c.mseed"))
    assert (back.stats.starttime, back.stats.npts) == (first.stats.starttime, 24_000)
    assert max_relative_error(np.concatenate([first.data, second.data]), back.data) <= TOLERANCE


def _log_records(obspy, rate):
    log = obspy.Trace(np.frombuffer(b"clock locked " * 40, "S1"), {"sampling_rate": rate,
                      "network": "XX", "station": "ST0", "channel": "LOG"})
    records = io.BytesIO()
    log.write(records, format="MSEED", encoding="ASCII", reclen=512)
    return records.getvalue()


# (what is done to a file of 4096-byte records, what the refusal says)
DAMAGE = [(lambda obspy, data: data[:-100], "truncated"),
          (lambda obspy, data: data[:4096] + bytes(48) + data[4096 + 48:], "record at byte 4096"),
          (lambda obspy, data: b"not miniSEED at all" * 512, "not a readable"),
          (lambda obspy, data: data + _log_records(obspy, 0.0), "LOG: records without")]


@pytest.mark.parametrize("damage, refusal", DAMAGE)
def test_damaged_files_are_refused_in_one_line(tmp_path, damage, refusal):
    obspy = _obspy()
    _write(obspy, tmp_path / "a.mseed", [_trace(obspy, "ST0", 30_000)])
    (tmp_path / "a.mseed").write_bytes(damage(obspy, (tmp_path / "a.mseed").read_bytes()))
    result = run("compress", "a.mseed", cwd=tmp_path)
    assert_refused(result)
    assert refusal in result.stderr and not (tmp_path / "a.zarr").exists()
