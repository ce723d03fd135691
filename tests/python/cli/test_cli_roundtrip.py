"""compress -> info -> decompress through the installed command, for every input kind."""

from __future__ import annotations

import wave

import numpy as np
import pytest

import kestova
from kestova_cli.recording import from_reconstruction
from cli_support import (max_relative_error, pcm_values, require_store_support, run,
                         write_float_wav, write_pcm_wav)

FRAMES = 6000
TOLERANCE = 5e-3  # of the range, at the default scale 11


def _wav_int(width):
    def make(path):
        values = pcm_values(width, 1, FRAMES)
        write_pcm_wav(path, values, width)
        return values[0]
    return make


def _wav_float(extensible):
    def make(path):
        values = pcm_values(2, 1, FRAMES) / 32768.0
        write_float_wav(path, values, extensible=extensible)
        return values[0].astype(np.float32)
    return make


def _npy(dtype):
    def make(path):
        values = pcm_values(2, 1, FRAMES)[0].astype(dtype)
        np.save(path, values)
        return values
    return make


def _raw(path):
    values = (pcm_values(2, 1, FRAMES)[0] / 1000.0).astype("<f4")
    values.tofile(path)
    return values


# kind -> (input name, writer, the sample type decompressing gives back, as .npy)
ONE_DIMENSIONAL = {
    "wav-u8": ("in.wav", _wav_int(1), "uint8"), "wav-s16": ("in.wav", _wav_int(2), "int16"),
    "wav-s24": ("in.wav", _wav_int(3), "int32"), "wav-s32": ("in.wav", _wav_int(4), "int32"),
    "wav-f32": ("in.wav", _wav_float(False), "float32"),
    "wav-f32-extensible": ("in.wav", _wav_float(True), "float32"),
    "npy-f32": ("in.npy", _npy(np.float32), "float32"),
    "npy-f64": ("in.npy", _npy(np.float64), "float64"),
    "npy-s16": ("in.npy", _npy(np.int16), "int16"),
    "npy-big-endian": ("in.npy", _npy(">f4"), "float32"),
    "raw-f32": ("in.f32", _raw, "float32"),
}


@pytest.mark.parametrize("kind", ONE_DIMENSIONAL)
def test_one_dimensional_round_trip(tmp_path, kind):
    name, make, sample_type = ONE_DIMENSIONAL[kind]
    original = make(tmp_path / name)
    assert run("compress", name, cwd=tmp_path).returncode == 0
    stream = (tmp_path / "in.kst").read_bytes()
    info = run("info", "in.kst", cwd=tmp_path)
    assert info.returncode == 0
    assert f"samples: {FRAMES}" in info.stdout and "method: cdf97" in info.stdout
    assert run("decompress", "in.kst", "-o", "out.npy", cwd=tmp_path).returncode == 0
    decoded = np.load(tmp_path / "out.npy")
    assert decoded.dtype == sample_type and decoded.shape == (FRAMES,)
    # The file starts with the module's container, so any Kestova decoder reads it.
    reconstruction = kestova.decompress_signal(stream)
    np.testing.assert_array_equal(decoded, from_reconstruction(reconstruction, sample_type))
    assert max_relative_error(original, decoded) < TOLERANCE


@pytest.mark.parametrize("method,scale,coder", [("db4", 8, "deflate"), ("sym4", 12, "arans"),
                                                ("cdf53", 6, "auto")])
def test_settings_reach_the_header(tmp_path, method, scale, coder):
    np.save(tmp_path / "x.npy", pcm_values(2, 1, FRAMES)[0].astype(np.float32))
    run("compress", "x.npy", "--method", method, "--scale", scale, "--coder", coder,
        cwd=tmp_path)
    info = run("info", "x.kst", cwd=tmp_path).stdout
    expected_coder = "arans" if coder == "auto" else coder
    assert f"method: {method}" in info and f"scale: {scale}" in info
    assert f"coder: {expected_coder}" in info


def test_kst_to_wav_at_the_given_rate(tmp_path):
    np.save(tmp_path / "x.npy", pcm_values(2, 1, FRAMES)[0].astype(np.float32))
    run("compress", "x.npy", cwd=tmp_path)
    assert run("decompress", "x.kst", "-o", "x.wav", "--rate", 22050,
               cwd=tmp_path).returncode == 0
    data = (tmp_path / "x.wav").read_bytes()
    assert data[20:22] == b"\x03\x00" and int.from_bytes(data[24:28], "little") == 22050


def test_quiet_silences_progress(tmp_path):
    np.save(tmp_path / "x.npy", np.ones(100, np.float32))
    assert "x.kst" in run("compress", "x.npy", cwd=tmp_path).stderr
    assert run("compress", "x.npy", "--force", "--quiet", cwd=tmp_path).stderr == ""


@pytest.mark.parametrize("bound", [1e-2, 1e-3])
def test_error_bound_honoured(tmp_path, bound):
    require_store_support()
    values = pcm_values(2, 1, FRAMES)[0].astype(np.float32)
    np.save(tmp_path / "x.npy", values)
    assert run("compress", "x.npy", "--max-error", bound, cwd=tmp_path).returncode == 0
    run("decompress", "x.kst", "-o", "y.npy", cwd=tmp_path)
    assert max_relative_error(values, np.load(tmp_path / "y.npy")) <= bound


@pytest.mark.parametrize("width,channels", [(1, 2), (2, 2), (3, 3), (4, 2)])
def test_multichannel_wav_store(tmp_path, width, channels):
    require_store_support()
    values = pcm_values(width, channels, FRAMES)
    write_pcm_wav(tmp_path / "in.wav", values, width, rate=11025)
    assert run("compress", "in.wav", cwd=tmp_path).returncode == 0
    info = run("info", "in.zarr", cwd=tmp_path).stdout
    assert f"channels: {channels}" in info and "sample rate: 11025 Hz" in info
    (tmp_path / "in.wav").rename(tmp_path / "original.wav")
    assert run("decompress", "in.zarr", cwd=tmp_path).returncode == 0  # back to in.wav's kind
    with wave.open(str(tmp_path / "in.wav")) as w:
        assert (w.getnchannels(), w.getsampwidth(), w.getframerate()) == (channels, width, 11025)
    run("decompress", "in.zarr", "-o", "back.npy", cwd=tmp_path)
    back = np.load(tmp_path / "back.npy")
    assert back.shape == (channels, FRAMES)
    for c in range(channels):
        assert max_relative_error(values[c], back[c]) < TOLERANCE


@pytest.mark.parametrize("dtype", [np.float32, np.float64, np.int16, np.uint16])
def test_multichannel_npy_store(tmp_path, dtype):
    require_store_support()
    values = (pcm_values(2, 3, FRAMES) + (32768 if dtype == np.uint16 else 0)).astype(dtype)
    np.save(tmp_path / "in.npy", values)
    assert run("compress", "in.npy", "--rate", 500, cwd=tmp_path).returncode == 0
    assert run("decompress", "in.zarr", "-o", "back.npy", cwd=tmp_path).returncode == 0
    back = np.load(tmp_path / "back.npy")
    assert back.dtype == dtype and back.shape == values.shape
    for c in range(3):
        assert max_relative_error(values[c], back[c]) < TOLERANCE


@pytest.mark.parametrize("quiet, forced, shown", [
    (False, True, True), (True, True, False), (False, False, False)])  # stderr is not a tty
def test_a_long_codec_call_shows_its_time(monkeypatch, capsys, quiet, forced, shown):
    import time

    from kestova_cli import progress

    monkeypatch.setattr(progress, "BAR_DELAY", 0)
    monkeypatch.setattr(progress, "TICK_SECONDS", 0.01)
    progress.Progress(quiet, forced)
    with progress.working("x.npy: encoding"):
        time.sleep(0.1)
    assert ("x.npy: encoding: 00:00" in capsys.readouterr().err) is shown
