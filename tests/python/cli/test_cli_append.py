"""compress --append: a store's time axis extended within the bound of every original sample,
refusals that leave the store as it was, and an interrupted append that leaves it readable at
its old length."""

from __future__ import annotations

from pathlib import Path

import numpy as np
import pytest

from cli_support import assert_refused, max_relative_error, require_store_support, run

pytest.importorskip("h5py")
BOUND = 1e-3  # relative, per chunk: within it of the whole signal's range too
LONG = 1_200_000  # past one chunk of 2**20: the store's last chunk is partly filled


@pytest.fixture(autouse=True)
def _needs_zarr():
    require_store_support()


def _signal(dtype: str, frames: int, channels: int = 1) -> np.ndarray:
    t = np.arange(frames) / 900.0
    x = np.stack([np.sin(t * (1 + c)) + 0.01 * np.cos(t * 37) for c in range(channels)])
    return (x * 20_000).astype(dtype) if dtype == "int16" else x.astype(dtype)


def _store(tmp_path: Path, suffix: str, values: np.ndarray, *options: str) -> Path:
    np.save(tmp_path / "first.npy", values[0] if values.shape[0] == 1 else values)
    result = run("compress", "first.npy", "-o", f"s{suffix}", "--rate", "1000",
                 "--max-error", str(BOUND), *options, cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    return tmp_path / f"s{suffix}"


def _decoded(tmp_path: Path, store: Path) -> np.ndarray:
    out = tmp_path / "out.npy"
    result = run("decompress", store.name, "-o", out.name, "--force", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    return np.load(out)


def _snapshot(path: Path) -> dict[str, bytes]:
    files = [path] if path.is_file() else sorted(p for p in path.rglob("*") if p.is_file())
    return {str(p.relative_to(path.parent)): p.read_bytes() for p in files}


@pytest.mark.parametrize("suffix", [".zarr", ".h5"])
@pytest.mark.parametrize("dtype, first, added, channels, options", [
    ("float32", 5_000, 12_000, 1, ()),  # chunks of the first length: nothing rewritten
    ("int16", LONG, 300_000, 2, ()),  # a partly filled last chunk, rewritten exactly
    ("int16", LONG, 300_000, 1, ("--format", "2")),
])
def test_append_round_trip(tmp_path, suffix, dtype, first, added, channels, options):
    values = _signal(dtype, first + added, channels)
    store = _store(tmp_path, suffix, values[:, :first], *options)
    before = _decoded(tmp_path, store).reshape(channels, -1)
    np.save(tmp_path / "more.npy", values[0, first:] if channels == 1 else values[:, first:])
    result = run("compress", "--append", store.name, "more.npy", "--rate", "1000", cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    after = _decoded(tmp_path, store).reshape(channels, -1)
    assert after.shape == values.shape and after.dtype == values.dtype
    assert np.array_equal(after[:, :first], before)  # old samples as they decoded before
    for row in range(channels):
        assert max_relative_error(values[row], after[row]) <= BOUND


def _input(values: np.ndarray, *options: str):
    return values, options


@pytest.mark.parametrize("suffix", [".zarr", ".h5"])
@pytest.mark.parametrize("first, more, words", [
    (_signal("float32", 5_000), _input(_signal("float32", 900, 2)), "2 channels"),
    (_signal("float32", 5_000), _input(_signal("int16", 900)), "int16 samples"),
    (_signal("float32", 5_000), _input(_signal("float32", 900), "--rate", "2000"), "2000 Hz"),
    (_signal("float32", 5_000), _input(_signal("float32", 900), "--scale", "9"),
     "scale is 11, not 9"),
    (_signal("float32", 5_000), _input(_signal("float32", 900), "--max-error", "0.01"),
     "max_error is 0.001, not 0.01"),
    (_signal("float32", 5_000), _input(_signal("float32", 900) * np.nan), "NaN"),
    (_signal("float32", LONG), _input(_signal("float32", 900)), "would not come back exactly"),
])
def test_refused_append_leaves_the_store_as_it_was(tmp_path, suffix, first, more, words):
    store = _store(tmp_path, suffix, first)
    kept = _snapshot(store)
    values, options = more
    np.save(tmp_path / "more.npy", values[0] if values.shape[0] == 1 else values)
    result = run("compress", "--append", store.name, "more.npy", "--rate", "1000", *options,
                 cwd=tmp_path)
    assert_refused(result)
    assert words in result.stderr
    assert _snapshot(store) == kept
    assert sorted(p.name for p in tmp_path.iterdir()) == ["first.npy", "more.npy", store.name]


@pytest.mark.parametrize("store, words", [
    ("s.kst", "a .kst file holds one stream"),
    ("missing.zarr", "no such store"),
])
def test_append_needs_a_store(tmp_path, store, words):
    np.save(tmp_path / "x.npy", _signal("float32", 900)[0])
    run("compress", "x.npy", "-o", "s.kst", cwd=tmp_path)
    result = run("compress", "--append", store, "x.npy", cwd=tmp_path)
    assert_refused(result)
    assert words in result.stderr


@pytest.mark.parametrize("suffix", [".zarr", ".h5"])
def test_interrupted_append_leaves_the_old_store(tmp_path, suffix):
    from kestova_cli.append import append_hdf5, append_zarr
    from kestova_cli.recording import in_memory

    values = _signal("int16", LONG + 2_500_000)
    store = _store(tmp_path, suffix, values[:, :LONG])
    kept = _snapshot(store)
    recording = in_memory(values[:, LONG:], "int16", 1000, "npy", True)
    read = recording.read_frames

    def interrupted(start: int, end: int) -> np.ndarray:
        if start > 1_000_000:  # after the rewritten chunk and a new one
            raise KeyboardInterrupt
        return read(start, end)

    recording.read_frames = interrupted
    with pytest.raises(KeyboardInterrupt):
        (append_zarr if suffix == ".zarr" else append_hdf5)(store, recording, {}, "more")
    assert _snapshot(store) == kept
    assert sorted(p.name for p in tmp_path.iterdir()) == ["first.npy", store.name]


def test_chunks_a_killed_append_left_beyond_the_shape_are_not_shown(tmp_path):
    values = _signal("float32", 5_000 + 6_000)
    store = _store(tmp_path, ".zarr", values[:, :5_000])
    (store / "signal" / "c" / "7").write_bytes(b"left by a run killed outright")
    np.save(tmp_path / "more.npy", values[0, 5_000:])
    assert run("compress", "--append", store.name, "more.npy", cwd=tmp_path).returncode == 0
    assert sorted(p.name for p in (store / "signal" / "c").iterdir()) == ["0", "1", "2"]
    assert max_relative_error(values[0], _decoded(tmp_path, store)) <= BOUND


def test_append_from_standard_input(tmp_path):
    import subprocess

    from cli_support import KESTOVA

    values = _signal("float32", 8_000)
    store = _store(tmp_path, ".h5", values[:, :3_000])
    np.save(tmp_path / "more.npy", values[0, 3_000:])
    with open(tmp_path / "more.npy", "rb") as stdin:
        result = subprocess.run([str(KESTOVA), "compress", "--append", store.name, "-"],
                                cwd=tmp_path, stdin=stdin, capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    assert max_relative_error(values[0], _decoded(tmp_path, store)) <= BOUND
