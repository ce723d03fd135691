"""Stores written by zarr, xarray and Dask, opened by `kestova info` and `kestova decompress`
(each a fresh process) and decoded to the values zarr itself reads."""

from __future__ import annotations

import numpy as np
import pytest

from cli_support import assert_refused, pcm_values, require_store_support, run

X = pcm_values(2, 3, 6000).astype(np.float32) / 1000


@pytest.fixture(autouse=True)
def _needs_zarr():
    require_store_support()


def _zarr_store(path, **codec):
    import zarr
    from kestova_codecs import KestovaCodec

    array = zarr.create_array(str(path), shape=X.shape, dtype="float32", chunks=(1, 2048),
                              serializer=KestovaCodec(**codec), compressors=None)
    array[:] = X


def _xarray_store(path):
    xarray = pytest.importorskip("xarray")
    from kestova_codecs import KestovaCodec

    ds = xarray.Dataset({"v": (("channel", "time"), X), "w": (("time",), X[0])},
                        coords={"time": np.arange(X.shape[1]) / 100})
    ds.to_zarr(str(path), zarr_format=3, encoding={
        "v": {"serializer": KestovaCodec(), "compressors": None, "chunks": (1, 2048)},
        "w": {"serializer": KestovaCodec(coder="deflate"), "compressors": None}})


def _dask_store(path):
    da = pytest.importorskip("dask.array")
    from kestova_codecs import KestovaCodec

    da.to_zarr(da.from_array(X, chunks=(1, 2048)), str(path), mode="w-",
               serializer=KestovaCodec(), compressors=None)


def _read(path, name=""):
    import zarr

    return zarr.open_array(str(path / name), mode="r")[...]


@pytest.mark.parametrize("make", [_zarr_store, _dask_store])
def test_bare_arrays(tmp_path, make):
    make(tmp_path / "s.zarr")
    info = run("info", "s.zarr", cwd=tmp_path)
    assert info.returncode == 0, info.stderr
    assert "float32, shape 3 x 6000, chunks 1 x 2048" in info.stdout
    assert "settings: method=cdf97 scale=11" in info.stdout
    assert run("decompress", "s.zarr", "-o", "s.npy", cwd=tmp_path).returncode == 0
    np.testing.assert_array_equal(np.load(tmp_path / "s.npy"), _read(tmp_path / "s.zarr"))


def test_error_bounded_array_shows_the_scales_used(tmp_path):
    _zarr_store(tmp_path / "s.zarr", max_error=1e-2)
    info = run("info", "s.zarr", cwd=tmp_path).stdout
    assert "max_error=0.01" in info and "scales used: " in info


def test_xarray_dataset_with_coordinates(tmp_path):
    _xarray_store(tmp_path / "ds.zarr")
    info = run("info", "ds.zarr", cwd=tmp_path).stdout
    assert "array 'v'" in info and "array 'w'" in info and "coder=deflate" in info
    assert "skipped array 'time': not Kestova (codecs: bytes, zstd)" in info
    assert_refused(run("decompress", "ds.zarr", "-o", "v.npy", cwd=tmp_path))
    assert_refused(run("decompress", "ds.zarr", "--array", "time", "-o", "t.npy", cwd=tmp_path))
    assert run("decompress", "ds.zarr", "--array", "v", "-o", "v.npy",
               cwd=tmp_path).returncode == 0
    np.testing.assert_array_equal(np.load(tmp_path / "v.npy"), _read(tmp_path / "ds.zarr", "v"))
    assert run("decompress", "ds.zarr", "--array", "w", "-o", "w.wav", "--rate", 100,
               cwd=tmp_path).returncode == 0


def test_a_store_without_kestova_arrays_names_its_codecs(tmp_path):
    import zarr

    zarr.create_array(str(tmp_path / "p.zarr"), shape=(10,), dtype="f4")[:] = 1
    for command in (["info", "p.zarr"], ["decompress", "p.zarr", "-o", "p.npy"]):
        result = run(*command, cwd=tmp_path)
        assert_refused(result)
        assert "no array in this zarr store uses the Kestova codec (codecs found: bytes, zstd)" \
            in result.stderr


def test_info_names_the_encoder_a_store_records(tmp_path):
    _zarr_store(tmp_path / "t.zarr", encoder="reference")
    assert "encoder: reference" in run("info", "t.zarr", cwd=tmp_path).stdout


def test_a_chunk_announcing_more_samples_is_refused_before_decoding(tmp_path):
    from kestova_codecs import _binding

    _zarr_store(tmp_path / "s.zarr")
    bomb = bytearray(_binding.compress(np.zeros(1000, np.float32), coder="deflate"))
    bomb[16:20] = ((1 << 31) - 1).to_bytes(4, "little")
    (tmp_path / "s.zarr" / "c" / "0" / "0").write_bytes(bytes(bomb))
    result = run("decompress", "s.zarr", "-o", "s.npy", cwd=tmp_path, limit_memory=True)
    assert_refused(result)
    assert "announces 2147483647 samples, but the chunk has 2048 values" in result.stderr
