"""One error bound through every surface that takes one: compress_within, KestovaCodec (zarr
v3), numcodecs Kestova (zarr v2), the HDF5 filter through h5py, and the command to .kst, .zarr
and .h5, for every element type and for absolute and relative bounds. Each surface either stores
values within the bound or refuses it, and all surfaces make the same choice (one rule)."""

import numpy as np
import pytest

from kestova_codecs import Kestova, chunk
from kestova_codecs.error_bound import compress_within

from codec_checks import signal_of

zarr = pytest.importorskip("zarr")
h5py = pytest.importorskip("h5py")
from kestova_cli.main import main as command  # noqa: E402
from kestova_codecs import KestovaCodec  # noqa: E402
from kestova_codecs.hdf5 import KestovaFilter  # noqa: E402

N = 2048
DTYPES = ["int8", "int16", "int32", "uint8", "uint16", "float32", "float64"]
# A relative bound, and an absolute one of 2.13 % of the range: a fraction of a unit past a whole
# number for integer types, so that rounding must not push them over it.
BOUNDS = [("relative", 1e-3), ("absolute", 0.0213)]


class Refused(Exception):
    pass


def values_of(dtype):
    x = signal_of(dtype, (N,))
    if dtype == "float64":  # float32 narrowing takes most of the relative bound
        x = 1e3 + 1e-2 * x
    return x


def within(x, bound, relative):
    try:
        return chunk.decode(compress_within(x, bound, relative=relative), x.dtype)
    except ValueError as error:
        raise Refused(str(error)) from None


def numcodecs_v2(x, bound, relative):
    codec = Kestova(dtype=x.dtype.str, max_error=bound, relative=relative)
    try:
        return codec.decode(codec.encode(x))
    except ValueError as error:
        raise Refused(str(error)) from None


def zarr_v3(x, bound, relative):
    array = zarr.create_array(store={}, shape=x.shape, dtype=x.dtype, chunks=x.shape,
                              compressors=None,
                              serializer=KestovaCodec(max_error=bound, relative=relative))
    try:
        array[...] = x
    except ValueError as error:
        raise Refused(str(error)) from None
    return array[...]


def hdf5_filter(x, bound, relative, tmp_path):
    with h5py.File(tmp_path / "filter.h5", "w") as file:
        file.create_dataset("x", data=x, chunks=x.shape,
                            compression=KestovaFilter(max_error=bound, relative=relative))
    with h5py.File(tmp_path / "filter.h5") as file:
        if file["x"].id.get_chunk_info(0).filter_mask:  # the optional filter stored it raw
            raise Refused("stored raw")
        return file["x"][...]


def by_command(suffix):
    def run(x, bound, relative, tmp_path, capsys):
        source, out = tmp_path / "in.npy", tmp_path / f"out{suffix}"
        np.save(source, x[None] if suffix == ".zarr" else x)
        flags = [] if relative else ["--absolute"]
        if command(["compress", "-q", "-f", str(source), "-o", str(out), "--max-error",
                    repr(bound), *flags]) != 0:
            raise Refused(capsys.readouterr().err)
        assert command(["decompress", "-q", "-f", str(out), "-o", str(tmp_path / "back.npy")]) == 0
        return np.load(tmp_path / "back.npy").reshape(x.shape)
    return run


SURFACES = {"compress_within": within, "numcodecs": numcodecs_v2, "zarr v3": zarr_v3,
            "hdf5 filter": hdf5_filter, "command .kst": by_command(".kst"),
            "command .zarr": by_command(".zarr"), "command .h5": by_command(".h5")}


@pytest.mark.parametrize("kind,fraction", BOUNDS)
@pytest.mark.parametrize("dtype", DTYPES)
def test_every_surface_keeps_the_bound_or_refuses_it_alike(tmp_path, capsys, dtype, kind,
                                                           fraction):
    x = values_of(dtype)
    relative = kind == "relative"
    span = float(np.float64(x.max()) - np.float64(x.min()))
    bound = fraction if relative else fraction * span
    allowed = fraction * span
    outcomes = {}
    for name, surface in SURFACES.items():
        extra = {"tmp_path": tmp_path} if name.startswith(("hdf5", "command")) else {}
        if name.startswith("command"):
            extra["capsys"] = capsys
        try:
            decoded = surface(x, bound, relative, **extra)
        except Refused as refusal:
            outcomes[name] = f"refused: {str(refusal)[:80]}"
            continue
        error = float(np.max(np.abs(decoded.astype(np.float64) - x.astype(np.float64))))
        assert decoded.dtype == x.dtype, name
        assert error <= allowed, f"{name}: max error {error} above the bound {allowed}"
        outcomes[name] = "kept"
    assert len({o.startswith("refused") for o in outcomes.values()}) == 1, outcomes
