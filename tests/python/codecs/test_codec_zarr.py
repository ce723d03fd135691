"""The zarr v3 codec KestovaCodec on a real store on disk: round trips, metadata, a fresh process
opening from metadata alone, chunks readable by kestova itself, and edge chunks under NaN fill."""

import json
import subprocess
import sys

import numpy as np
import pytest

zarr = pytest.importorskip("zarr")

import kestova  # noqa: E402
from kestova_codecs import Kestova, KestovaCodec  # noqa: E402

from codec_checks import assert_close, max_error_allowed, signal_of  # noqa: E402


def create(path, values, chunks, codec=None, **kwargs):
    array = zarr.create_array(path, shape=values.shape, dtype=values.dtype, chunks=chunks,
                              serializer=codec or KestovaCodec(), compressors=None, **kwargs)
    array[:] = values
    return array


@pytest.mark.parametrize("dtype", ["<f4", "<f8", "<i2", "|u1"])
@pytest.mark.parametrize("shape, chunks", [((10000,), (4096,)), ((4, 3000), (1, 1024)),
                                           ((4, 3000), (4, 1024)), ((3, 5, 700), (2, 5, 256))])
def test_round_trip_restores_shape_and_dtype(tmp_path, dtype, shape, chunks):
    values = signal_of(dtype, shape)
    create(tmp_path / "a", values, chunks)
    read = zarr.open_array(tmp_path / "a", mode="r")[:]
    assert read.shape == values.shape and read.dtype == values.dtype
    assert_close(values, read, max_error_allowed(values))


def test_every_setting_is_written_to_the_metadata(tmp_path):
    codec = KestovaCodec(method="sym4", coder="deflate", max_error=0.01, relative=False)
    create(tmp_path / "a", signal_of("<f4", (5000,)), (4096,), codec)
    codecs = json.loads((tmp_path / "a" / "zarr.json").read_text())["codecs"]
    assert codecs == [{"name": "kestova", "configuration": {
        "method": "sym4", "scale": 11, "cutoff": "low", "coder": "deflate", "max_error": 0.01,
        "relative": False, "encoder": "tuned", "format": 1}}]
    assert KestovaCodec.from_dict(codecs[0]) == codec
    assert KestovaCodec.from_dict({"name": "kestova"}) == KestovaCodec(encoder="reference")


def test_a_fresh_process_opens_the_array_from_metadata_alone(tmp_path):
    values = signal_of("<f4", (4, 3000))
    create(tmp_path / "a", values, (1, 1024), KestovaCodec(scale=9, cutoff="medium"))
    np.save(tmp_path / "read.npy", zarr.open_array(tmp_path / "a", mode="r")[:])
    script = ("import sys, numpy, zarr; a = zarr.open_array(sys.argv[1], mode='r'); "
              "assert (a[:] == numpy.load(sys.argv[2])).all(); "
              "print(type(a.metadata.codecs[0]).__module__)")
    result = subprocess.run([sys.executable, "-c", script, str(tmp_path / "a"),
                             str(tmp_path / "read.npy")], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "kestova_codecs.zarr_codec"


def test_each_chunk_is_a_plain_kestova_container(tmp_path):
    values = signal_of("<f4", (2, 4096))
    array = create(tmp_path / "a", values, (1, 4096),
                   KestovaCodec(method="db4", encoder="reference"))
    stored = (tmp_path / "a" / "c" / "1" / "0").read_bytes()
    options = kestova.KestovaCompressionOptions(method="db4")
    assert stored == kestova.compress_signal(values[1], options)
    np.testing.assert_array_equal(kestova.decompress_signal(stored), array[1])


@pytest.mark.parametrize("chunks", [(4096,), (1, 4096)])
def test_edge_chunks_under_nan_fill_keep_their_nan_tail(tmp_path, chunks):
    values = signal_of("<f4", (10000,) if len(chunks) == 1 else (2, 10000))
    array = create(tmp_path / "a", values, chunks, fill_value=float("nan"))
    assert_close(values, array[:], max_error_allowed(values))
    array.resize(values.shape[:-1] + (12500,))  # the old padding now reads as fill: NaN
    assert np.isnan(array[..., 10000:]).all()
    assert_close(values, array[..., :10000], max_error_allowed(values))


def test_values_ending_in_nan_round_trip_and_nan_elsewhere_is_refused(tmp_path):
    values = signal_of("<f4", (8192,))
    values[4000:4096] = np.nan  # the end of the first chunk
    array = create(tmp_path / "a", values, (4096,))
    np.testing.assert_array_equal(np.isnan(array[:]), np.isnan(values))
    values[10] = np.nan
    with pytest.raises(ValueError, match=r"refusing to compress 1 non-finite value\(s\)"):
        create(tmp_path / "b", values, (4096,))


def test_unsupported_dtype_is_refused_at_creation(tmp_path):
    with pytest.raises(ValueError, match="cannot store dtype int64"):
        zarr.create_array(tmp_path / "a", shape=(100,), dtype="int64", chunks=(100,),
                          serializer=KestovaCodec(), compressors=None)


def test_error_bound_holds_per_chunk(tmp_path):
    values = signal_of("<f4", (3, 8192))
    values[1] *= 100  # chunks of very different ranges
    array = create(tmp_path / "a", values, (1, 4096), KestovaCodec(max_error=2e-3))
    for channel in range(3):
        for start in (0, 4096):
            part = values[channel, start:start + 4096]
            assert_close(part, array[channel, start:start + 4096], 2e-3 * float(np.ptp(part)))


@pytest.mark.parametrize("order", ["C", "F"])
def test_zarr_v2_array_with_the_numcodecs_codec(tmp_path, order):
    values = signal_of("<i2", (4, 3000))
    array = zarr.create_array(tmp_path / "a", shape=values.shape, dtype=values.dtype,
                              chunks=(2, 1024), zarr_format=2, compressors=Kestova(dtype="<i2"),
                              config={"order": order})
    array[:] = values
    assert_close(values, zarr.open_array(tmp_path / "a", mode="r")[:], max_error_allowed(values))
