"""The field's formats through their libraries, on files the libraries write themselves: the
samples come back within the bound, the format, encoding, rate and layout exactly; and the
outputs decompress writes on request."""

from __future__ import annotations

import os
import struct
import subprocess
import sys

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
