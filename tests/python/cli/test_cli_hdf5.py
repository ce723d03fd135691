"""compress -o OUT.h5 -> info -> decompress through the installed command, and reading HDF5
datasets that other writers made with the filter."""

from __future__ import annotations

import wave

import numpy as np
import pytest

from cli_support import assert_refused, max_relative_error, pcm_values, run, write_pcm_wav

h5py = pytest.importorskip("h5py")

from kestova_codecs.hdf5 import KestovaFilter  # noqa: E402

TOLERANCE = 5e-3  # of the range, at the default scale 11


def test_stereo_wav_round_trip_keeps_type_rate_and_layout(tmp_path):
    values = pcm_values(2, 2, 30_000)
    write_pcm_wav(tmp_path / "rec.wav", values, 2, rate=16_000)
    assert run("compress", "rec.wav", "-o", "rec.h5", cwd=tmp_path).returncode == 0
    with h5py.File(tmp_path / "rec.h5") as file:
        dataset = file["signal"]
        assert dataset.shape == (2, 30_000) and dataset.chunks == (1, 30_000)
        assert dataset.dtype == np.int16
        assert dataset.attrs["sample_rate"] == 16_000
        assert dataset.attrs["source_dtype"] == "int16"
    info = run("info", "rec.h5", cwd=tmp_path)
    assert info.returncode == 0
    assert "sample rate: 16000 Hz" in info.stdout and "filter: kestova" in info.stdout
    assert run("decompress", "rec.h5", "-o", "out.wav", cwd=tmp_path).returncode == 0
    with wave.open(str(tmp_path / "out.wav")) as decoded:
        assert (decoded.getnchannels(), decoded.getsampwidth(), decoded.getframerate()) == \
            (2, 2, 16_000)
        frames = np.frombuffer(decoded.readframes(30_000), "<i2").reshape(-1, 2).T
    assert max_relative_error(values, frames) <= TOLERANCE


def test_settings_reach_the_filter(tmp_path):
    signal = np.sin(np.arange(50_000) / 30).astype(np.float32)
    np.save(tmp_path / "x.npy", signal)
    args = ("compress", "x.npy", "-o", "x.h5", "--method", "db4", "--scale", "8", "--coder",
            "deflate")
    assert run(*args, cwd=tmp_path).returncode == 0
    info = run("info", "x.h5", cwd=tmp_path).stdout
    assert "method=db4 scale=8" in info and "coder=deflate" in info
    assert run("compress", "x.npy", "-o", "b.h5", "--max-error", "1e-3", cwd=tmp_path).returncode == 0
    assert run("decompress", "b.h5", "-o", "b.npy", cwd=tmp_path).returncode == 0
    assert max_relative_error(signal, np.load(tmp_path / "b.npy")[0]) <= 1e-3
    # A bound out of reach is refused in one line, leaving no file (HDF5 never holds the chunk).
    refused = run("compress", "x.npy", "-o", "c.h5", "--max-error", "1e-9", cwd=tmp_path)
    assert_refused(refused)
    assert "cannot be met" in refused.stderr
    assert not list(tmp_path.glob("*c.h5*"))


def test_any_dataset_with_the_filter_is_read_by_name(tmp_path):
    signal = np.sin(np.arange(20_000) / 50).astype(np.float32)
    with h5py.File(tmp_path / "other.h5", "w") as file:
        file.create_dataset("group/a", data=signal, chunks=(8192,), compression=KestovaFilter())
        file.create_dataset("group/b", data=signal[::2], chunks=(4096,),
                            compression=KestovaFilter())
        file.create_dataset("plain", data=signal)
    refused = run("decompress", "other.h5", "-o", "x.npy", cwd=tmp_path)
    assert_refused(refused)
    assert "several datasets" in refused.stderr and "--dataset" in refused.stderr
    assert run("decompress", "other.h5", "--dataset", "group/a", "-o", "a.npy",
               cwd=tmp_path).returncode == 0
    decoded = np.load(tmp_path / "a.npy")
    assert decoded.shape == signal.shape
    assert max_relative_error(signal, decoded) <= TOLERANCE
    info = run("info", "other.h5", cwd=tmp_path)
    assert info.stdout.count("filter: kestova") == 2
    for dataset, reason in (("plain", "does not use the Kestova filter"),
                            ("nope", "no dataset 'nope'")):
        result = run("decompress", "other.h5", "--dataset", dataset, "-o", "y.npy", cwd=tmp_path)
        assert_refused(result)
        assert reason in result.stderr
    assert not (tmp_path / "y.npy").exists()


def test_dataset_option_needs_a_file_of_several(tmp_path):
    np.save(tmp_path / "x.npy", np.sin(np.arange(5000) / 9).astype(np.float32))
    assert run("compress", "x.npy", cwd=tmp_path).returncode == 0
    assert_refused(run("decompress", "x.kst", "--dataset", "signal", "-o", "y.npy",
                       cwd=tmp_path))
    assert not (tmp_path / "y.npy").exists()
