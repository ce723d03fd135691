"""xarray writes and reads a Dataset through KestovaCodec, xarray's NaN fill value included."""

import numpy as np
import pytest

xr = pytest.importorskip("xarray")
pytest.importorskip("zarr")

from kestova_codecs import KestovaCodec  # noqa: E402

from codec_checks import assert_close, max_error_allowed, signal_of  # noqa: E402


def dataset(values, start=0):
    time = np.arange(start, start + values.shape[1]) / 1000.0
    return xr.Dataset({"v": (("channel", "time"), values)}, coords={"time": time})


def test_dataset_round_trip_and_append(tmp_path):
    values = signal_of("<f4", (3, 10000))  # 10000 is no multiple of the chunk length
    encoding = {"v": {"serializer": KestovaCodec(coder="deflate"), "compressors": None,
                      "chunks": (1, 4096)}}
    dataset(values[:, :7000]).to_zarr(tmp_path / "d.zarr", zarr_format=3, encoding=encoding,
                                     consolidated=False)
    dataset(values[:, 7000:], start=7000).to_zarr(tmp_path / "d.zarr", append_dim="time",
                                                    consolidated=False)
    with xr.open_zarr(tmp_path / "d.zarr", consolidated=False) as read:
        assert read.v.dtype == np.float32 and read.v.shape == values.shape
        # The chunk that the append completes is decoded and encoded once more.
        assert_close(values, read.v.values, 2 * max_error_allowed(values))
        np.testing.assert_array_equal(read.time.values, np.arange(10000) / 1000.0)
