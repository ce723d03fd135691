"""The field's formats through their libraries, on files the libraries write themselves: the
samples come back within the bound, the format, encoding, rate and layout exactly; and the
outputs decompress writes on request."""

from __future__ import annotations

import os
import struct
import subprocess
import sys
from datetime import timedelta

import numpy as np
import pytest

from cli_support import (assert_refused, max_relative_error, pcm_values, run,
                         write_float_wav, write_pcm_wav)

TOLERANCE = 5e-3  # of the range, at the default scale 11
FRAMES = 20_000


def _soundfile():
    return pytest.importorskip("soundfile")


# (file name, libsndfile format, encoding, numpy type read, channels)
AUDIO = [("a.flac", "FLAC", "PCM_16", "int16", 2), ("a.flac", "FLAC", "PCM_24", "int32", 1),
         ("a.wav", "RF64", "PCM_16", "int16", 3), ("a.w64", "W64", "PCM_32", "int32", 2),
         ("a.wav", "WAV", "DOUBLE", "float64", 1), ("a.aiff", "AIFF", "PCM_16", "int16", 2)]


@pytest.mark.parametrize("name, kind, encoding, dtype, channels", AUDIO)
def test_audio_comes_back_in_its_format_and_encoding(tmp_path, name, kind, encoding, dtype,
                                                     channels):
    soundfile = _soundfile()
    values = pcm_values(4, channels, FRAMES).T.astype(np.int32)
    values = values.astype(np.float64) / 2**31 if dtype == "float64" else values
    soundfile.write(tmp_path / name, values, 32_000, encoding, format=kind)
    original, _ = soundfile.read(tmp_path / name, dtype=dtype, always_2d=True)
    output = "out" + (".wav" if kind in ("WAV", "RF64") else os.path.splitext(name)[1])
    for args in (["compress", name, "-o", "a.zarr"], ["decompress", "a.zarr", "-o", output]):
        assert run(*args, cwd=tmp_path).returncode == 0
    info = soundfile.info(tmp_path / output)
    assert (info.subtype, info.samplerate, info.channels) == (encoding, 32_000, channels)
    assert info.format == ("WAV" if kind == "RF64" else kind)  # our WAV writer below 4 GiB
    decoded, _ = soundfile.read(tmp_path / output, dtype=dtype, always_2d=True)
    assert max_relative_error(original, decoded) <= TOLERANCE


def test_channel_mask_and_streamed_sizes(tmp_path):
    values = np.linspace(-1, 1, 3 * 500, dtype=np.float32).reshape(3, 500)
    write_float_wav(tmp_path / "x.wav", values, extensible=True)
    data = bytearray((tmp_path / "x.wav").read_bytes())
    mask_at = data.index(b"fmt ") + 8 + 20
    data[mask_at:mask_at + 4] = struct.pack("<I", 0x107)  # left, right, centre, back centre
    data[4:8] = data[data.index(b"data") + 4:][:4] = b"\xff\xff\xff\xff"  # as a pipe leaves it
    (tmp_path / "x.wav").write_bytes(bytes(data))
    for args in (["compress", "x.wav"], ["decompress", "x.zarr", "-o", "y.wav"]):
        assert run(*args, cwd=tmp_path).returncode == 0
    out = (tmp_path / "y.wav").read_bytes()
    fmt = out.index(b"fmt ") + 8
    assert struct.unpack_from("<HH", out, fmt) == (0xFFFE, 3)
    assert struct.unpack_from("<I", out, fmt + 20)[0] == 0x107


@pytest.mark.parametrize("output, read", [
    ("y.f32", lambda p: np.fromfile(p, "<f4").reshape(-1, 2).T),
    ("y.raw", lambda p: np.fromfile(p, "<f4").reshape(-1, 2).T),
    ("y.npy", np.load)])
def test_decompress_writes_raw_and_npy_outputs(tmp_path, output, read):
    values = pcm_values(2, 2, FRAMES)
    write_pcm_wav(tmp_path / "x.wav", values, 2)
    for args in (["compress", "x.wav"], ["decompress", "x.zarr", "-o", output]):
        assert run(*args, cwd=tmp_path).returncode == 0
    assert max_relative_error(values, read(tmp_path / output)) <= TOLERANCE


def test_decompress_to_a_plain_hdf5_file(tmp_path):
    h5py = pytest.importorskip("h5py")
    values = pcm_values(2, 2, FRAMES)
    write_pcm_wav(tmp_path / "x.wav", values, 2, rate=16_000)
    for args in (["compress", "x.wav"], ["decompress", "x.zarr", "-o", "y.h5"]):
        assert run(*args, cwd=tmp_path).returncode == 0
    with h5py.File(tmp_path / "y.h5") as file:
        dataset = file["signal"]
        assert dataset.dtype == np.int16 and dataset.attrs["sample_rate"] == 16_000
        assert max_relative_error(values, dataset[...]) <= TOLERANCE


def test_nwb_series_is_read_time_by_channels_with_its_rate(tmp_path):
    pynwb = pytest.importorskip("pynwb")
    from datetime import datetime, timezone

    from hdmf.backends.hdf5.h5_utils import H5DataIO
    from kestova_codecs.hdf5 import KestovaFilter
    from pynwb.ecephys import ElectricalSeries

    x = pcm_values(2, 4, FRAMES).astype(np.float32)  # channels x time
    nwb = pynwb.NWBFile(session_description="s", identifier="i",
                        session_start_time=datetime.now(timezone.utc))
    group = nwb.create_electrode_group(name="g", description="d", location="l",
                                       device=nwb.create_device(name="probe"))
    for _ in range(4):
        nwb.add_electrode(group=group, location="l")
    electrodes = nwb.create_electrode_table_region(list(range(4)), "all")
    data = H5DataIO(x.T, **KestovaFilter(), allow_plugin_filters=True, chunks=(8192, 1))
    nwb.add_acquisition(ElectricalSeries(name="rec", data=data, electrodes=electrodes,
                                         rate=30_000.0))
    with pynwb.NWBHDF5IO(str(tmp_path / "x.nwb"), "w") as io:
        io.write(nwb)
    result = run("decompress", "x.nwb", "--dataset", "acquisition/rec/data", "-o", "y.wav",
                 cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert "4 channels x 20000 samples" in result.stderr
    soundfile = _soundfile()
    decoded, rate = soundfile.read(tmp_path / "y.wav", dtype="float32", always_2d=True)
    assert rate == 30_000 and max_relative_error(x, decoded.T) <= TOLERANCE


def test_a_missing_extra_is_named(tmp_path):
    (tmp_path / "x.flac").write_bytes(b"fLaC" + bytes(60))
    blocked = "import sys; sys.modules['soundfile'] = None; from kestova_cli.main import main; " \
              "sys.exit(main())"
    result = subprocess.run([sys.executable, "-c", blocked, "compress", "x.flac"],
                            cwd=tmp_path, capture_output=True, text=True)
    assert_refused(result)
    assert 'kestova[audio]' in result.stderr


def test_progress_bar_only_when_asked_for_off_a_terminal(tmp_path, monkeypatch, capsys):
    from kestova_cli import progress

    monkeypatch.setattr(progress, "BAR_DELAY", 0)
    for forced in (True, False):
        with progress.Progress(quiet=False, forced=forced).bar(1000, "x.wav") as tick:
            tick(500)
            tick(500)
        shown = capsys.readouterr().err
        assert ("%" in shown and "samples/s" in shown) == forced


def _edf(path, bdf=False):
    """Two signals at 256 Hz and one at 32 Hz, a minute long, as pyedflib writes them."""
    pyedflib = pytest.importorskip("pyedflib")
    from datetime import datetime

    top = (1 << 23) - 1 if bdf else 32767
    headers = [{"label": label, "dimension": unit, "sample_frequency": rate,
                "physical_max": 3000.0, "physical_min": -3000.0, "digital_max": top,
                "digital_min": -top - 1, "prefilter": prefilter, "transducer": "AgAgCl"}
               for label, unit, rate, prefilter in [("Fp1", "uV", 256, "HP:0.1Hz"),
                                                    ("Fp2", "uV", 256, ""),
                                                    ("Resp", "mV", 32, "")]]
    kind = pyedflib.FILETYPE_BDFPLUS if bdf else pyedflib.FILETYPE_EDFPLUS
    writer = pyedflib.EdfWriter(str(path), 3, kind)
    writer.setSignalHeaders(headers)
    writer.setStartdatetime(datetime(2024, 3, 1, 22, 30, 5))
    t, slow = np.arange(256 * 60) / 256, np.arange(32 * 60) / 32
    writer.writeSamples([np.sin(t * 7) * 1000, np.cos(t * 3) * 800, np.sin(slow) * 900])
    writer.close()


def _edf_contents(path):
    import pyedflib

    with pyedflib.EdfReader(str(path)) as reader:
        return (reader.getSignalHeaders(), reader.getStartdatetime(),
                [reader.readSignal(i, digital=True) for i in range(reader.signals_in_file)])


@pytest.mark.parametrize("name, store", [("a.edf", "a.zarr"), ("a.bdf", "a.h5")])
def test_edf_rates_become_arrays_and_come_back_with_their_headers(tmp_path, name, store):
    if store.endswith(".zarr"):
        pytest.importorskip("zarr")
    _edf(tmp_path / name, bdf=name.endswith(".bdf"))
    output = "b" + name[1:]
    for args in (["compress", name, "-o", store], ["decompress", store, "-o", output]):
        result = run(*args, cwd=tmp_path)
        assert result.returncode == 0, result.stderr
    info = run("info", store, cwd=tmp_path).stdout
    assert "256 Hz" in info and "32 Hz" in info
    headers, start, signals = _edf_contents(tmp_path / name)
    headers_back, start_back, signals_back = _edf_contents(tmp_path / output)
    assert (headers_back, start_back) == (headers, start)
    for original, decoded in zip(signals, signals_back):
        assert max_relative_error(original, decoded) <= TOLERANCE
    # a selection starts when its first sample was taken
    result = run("decompress", store, "--start", "10s", "-o", "c" + name[1:], cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert _edf_contents(tmp_path / ("c" + name[1:]))[1] == start + timedelta(seconds=10)


def test_an_edf_with_inconsistent_record_sizes_is_refused(tmp_path):
    _edf(tmp_path / "a.edf")
    data = (tmp_path / "a.edf").read_bytes()
    (tmp_path / "a.edf").write_bytes(data[:-1000])  # the header announces more records
    result = run("compress", "a.edf", cwd=tmp_path)
    assert_refused(result)
    assert "a.edf" in result.stderr and not (tmp_path / "a.zarr").exists()


def _traces(obspy, stations, start_shift=0.0):
    start = obspy.UTCDateTime("2024-05-01T00:00:00Z")
    traces = [obspy.Trace((np.sin(np.arange(60_000) / (30 + i)) * 5000).astype(np.int32),
                          {"network": "XX", "station": f"ST{i}", "location": "00",
                           "channel": "HHZ", "sampling_rate": 100.0,
                           "starttime": start + start_shift * i}) for i in range(stations)]
    traces.append(obspy.Trace((np.sin(np.arange(600) / 5) * 300).astype(np.int32),
                              {"network": "XX", "station": "ST0", "location": "00",
                               "channel": "LHZ", "sampling_rate": 1.0, "starttime": start}))
    return traces


@pytest.mark.parametrize("name, store, output", [("a.mseed", "a.zarr", "b.mseed"),
                                                 ("a.sac", "a.kst", "b.sac")])
def test_seismic_traces_come_back_with_their_ids_start_and_rate(tmp_path, name, store, output):
    obspy = pytest.importorskip("obspy")
    if store.endswith(".zarr"):
        pytest.importorskip("zarr")
    traces = _traces(obspy, 3)[: 1 if name.endswith(".sac") else None]
    obspy.Stream(traces).write(str(tmp_path / name), format="SAC" if name.endswith(".sac")
                               else "MSEED", encoding=None if name.endswith(".sac") else "STEIM2")
    for args in (["compress", name, "-o", store], ["decompress", store, "-o", output]):
        result = run(*args, cwd=tmp_path)
        assert result.returncode == 0, result.stderr
    original = {t.id: t for t in obspy.read(str(tmp_path / name))}
    decoded = {t.id: t for t in obspy.read(str(tmp_path / output))}
    assert original.keys() == decoded.keys()
    for trace_id, trace in original.items():
        back = decoded[trace_id]
        assert (back.stats.starttime, back.stats.sampling_rate, back.stats.npts) == \
            (trace.stats.starttime, trace.stats.sampling_rate, trace.stats.npts)
        if "mseed" in trace.stats:
            assert back.stats.mseed.encoding == trace.stats.mseed.encoding
        assert max_relative_error(trace.data, back.data) <= TOLERANCE


def test_seismic_gaps_and_overlaps_are_refused_saying_where(tmp_path):
    obspy = pytest.importorskip("obspy")
    first = _traces(obspy, 1)[0]
    later = first.copy()
    later.stats.starttime += 700  # 100 s after the first ends
    obspy.Stream([first, later]).write(str(tmp_path / "a.mseed"), format="MSEED")
    result = run("compress", "a.mseed", cwd=tmp_path)
    assert_refused(result)
    assert "1 gap" in result.stderr and "XX.ST0.00.HHZ" in result.stderr


@pytest.mark.parametrize("store", ["x.zarr", "x.h5", "x.kst"])
def test_partial_decode_is_the_slice_of_the_whole(tmp_path, store):
    pytest.importorskip("zarr" if store.endswith(".zarr") else "h5py")
    channels = 1 if store.endswith(".kst") else 6
    values = np.sin(np.arange(channels * 60_000).reshape(channels, -1) / 40).astype(np.float32)
    np.save(tmp_path / "x.npy", values[0] if channels == 1 else values)
    assert run("compress", "x.npy", "--rate", "1000", "-o", store, cwd=tmp_path).returncode == 0
    rows = "0" if channels == 1 else "0,3-5"
    for args in (["-o", "all.npy"], ["--channels", rows, "--start", "10s", "--end", "20500",
                                     "-o", "part.npy"]):
        result = run("decompress", store, *args, cwd=tmp_path)
        assert result.returncode == 0, result.stderr
    whole, part = np.load(tmp_path / "all.npy"), np.load(tmp_path / "part.npy")
    whole = whole.reshape(channels, -1)[[0] if channels == 1 else [0, 3, 4, 5], 10_000:20_500]
    np.testing.assert_array_equal(part.reshape(whole.shape), whole)
    beyond = run("decompress", store, "--channels", "6", "-o", "no.npy", cwd=tmp_path)
    assert_refused(beyond)


@pytest.mark.parametrize("target", [40.0, 65.0])
def test_psnr_is_reached_by_the_coarsest_scale(tmp_path, target):
    import kestova
    from kestova_codecs.tables import read_header

    rng = np.random.default_rng(5)
    x = (np.sin(np.arange(100_000) / 40) + 0.01 * rng.standard_normal(100_000)).astype("f4")
    np.save(tmp_path / "x.npy", x)

    def psnr_and_scale(name):
        stream = (tmp_path / name).read_bytes()
        header = read_header(stream)
        y = kestova.decompress_signal(stream[:header["container_bytes"]]).astype(np.float64)
        return 20 * np.log10(np.ptp(x) / np.sqrt(np.mean((y - x) ** 2))), header["scale"]

    assert run("compress", "x.npy", "--psnr", str(target), cwd=tmp_path).returncode == 0
    psnr, scale = psnr_and_scale("x.kst")
    assert psnr >= target
    if scale > 6:  # one scale coarser falls short
        assert run("compress", "x.npy", "--scale", str(scale - 1), "-o", "c.kst",
                   cwd=tmp_path).returncode == 0
        assert psnr_and_scale("c.kst")[0] < target
    unreachable = run("compress", "x.npy", "--psnr", "200", "-o", "u.kst", cwd=tmp_path)
    assert_refused(unreachable)
    assert "out of reach" in unreachable.stderr
