"""A Dask LocalCluster with two worker processes writes a zarr array through KestovaCodec and
reads it back; the workers find the codec through the installed entry points."""

import numpy as np
import pytest

da = pytest.importorskip("dask.array")
distributed = pytest.importorskip("distributed")
zarr = pytest.importorskip("zarr")

import kestova  # noqa: E402
from kestova_codecs import KestovaCodec  # noqa: E402


def to_new_array(values, path):
    da.to_zarr(values, str(path), mode="w-", serializer=KestovaCodec(method="db4", encoder="reference"),
               compressors=None)


def into_existing_array(values, path):
    target = zarr.create_array(path, shape=values.shape, dtype="float32",
                               chunks=values.chunksize,
                               serializer=KestovaCodec(method="db4", encoder="reference"),
                               compressors=None)
    da.store(values, target, lock=False)


@pytest.mark.parametrize("write", [to_new_array, into_existing_array])
def test_two_worker_processes_write_and_read(tmp_path, write):
    shape, chunks = (4, 1 << 16), (1, 1 << 14)
    values = da.random.default_rng(5).standard_normal(shape, chunks=chunks).astype(np.float32)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster):
        written = values.compute()
        write(values, tmp_path / "a.zarr")
        read = da.from_zarr(str(tmp_path / "a.zarr")).compute()
    options = kestova.KestovaCompressionOptions(method="db4")
    for channel in range(shape[0]):
        for start in range(0, shape[1], chunks[1]):
            part = np.array(written[channel, start:start + chunks[1]])  # aligned
            direct = kestova.decompress_signal(kestova.compress_signal(part, options))
            np.testing.assert_array_equal(read[channel, start:start + chunks[1]], direct)
