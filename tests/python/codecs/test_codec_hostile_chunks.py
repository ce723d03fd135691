"""A chunk whose container announces far more samples than its chunk holds (a real container, so
decoding it would succeed) is refused from its header in zarr v2, zarr v3 and HDF5 files, at no
memory cost; decoding it would take about 100 MB."""

import subprocess
import sys
import textwrap

import numpy as np
import pytest

from kestova_codecs import Kestova, _binding

SAMPLES = 6_000_000  # above Kestova.max_decoded_samples, and 6000 times the chunk
CHUNK = 1000

WRITERS = {
    "zarr v2": """
        import zarr
        from kestova_codecs import Kestova
        a = zarr.create_array(path, shape=(2 * CHUNK,), chunks=(CHUNK,), dtype="f4",
                              zarr_format=2, compressors=Kestova(), filters=None)
        a[:] = 1
        open(f"{path}/0", "wb").write(hostile)
        read = lambda: zarr.open_array(path)[:CHUNK]
    """,
    "zarr v3": """
        import zarr
        from kestova_codecs import KestovaCodec
        a = zarr.create_array(path, shape=(2 * CHUNK,), chunks=(CHUNK,), dtype="f4",
                              serializer=KestovaCodec(), compressors=None)
        a[:] = 1
        open(f"{path}/c/0", "wb").write(hostile)
        read = lambda: zarr.open_array(path)[:CHUNK]
    """,
    "hdf5": """
        import h5py
        from kestova_codecs.hdf5 import KestovaFilter
        with h5py.File(path, "w") as f:
            d = f.create_dataset("x", shape=(2 * CHUNK,), chunks=(CHUNK,), dtype="f4",
                                 compression=KestovaFilter())
            d.id.write_direct_chunk((0,), hostile)
        read = lambda: h5py.File(path)["x"][:CHUNK]
    """,
}


@pytest.fixture(scope="module")
def hostile(tmp_path_factory):
    """A smooth signal of SAMPLES samples as one container (about 100 KB)."""
    x = np.sin(np.arange(SAMPLES, dtype=np.float32) / 5000.0)
    path = tmp_path_factory.mktemp("hostile") / "container"
    path.write_bytes(_binding.compress(x, scale=6))
    return path


@pytest.mark.parametrize("store", WRITERS)
def test_a_container_announcing_more_than_its_chunk_is_refused_unread(tmp_path, hostile, store):
    pytest.importorskip("zarr" if store.startswith("zarr") else "h5py")
    code = textwrap.dedent(f"""
        import resource
        CHUNK, path = {CHUNK}, {str(tmp_path / "store")!r}
        hostile = open({str(hostile)!r}, "rb").read()
    """) + textwrap.dedent(WRITERS[store]) + textwrap.dedent("""
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        try:
            read()
            print("decoded")
        except Exception as error:
            print("refused:", type(error).__name__, error)
        grown = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
        print(f"grown {grown // 1024} MiB")
    """)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                         cwd=tmp_path).stdout
    assert "refused" in out, out
    assert int(out.split("grown ")[1].split()[0]) < 16, out


def test_numcodecs_caps_a_chunk_of_unknown_size_and_the_cap_can_be_raised(hostile):
    codec = Kestova()
    with pytest.raises(ValueError, match="raise Kestova.max_decoded_samples"):
        codec.decode(hostile.read_bytes())
    default = Kestova.max_decoded_samples
    try:
        Kestova.max_decoded_samples = SAMPLES
        assert codec.decode(hostile.read_bytes()).size == SAMPLES
    finally:
        Kestova.max_decoded_samples = default
