"""What the codecs check before they work: the codec's tables and header reader through the
binding, containers announcing more samples than their chunk (refused unread), and value ranges
too narrow to scale by."""

import numpy as np
import pytest

import kestova
import kestova_codecs
from kestova_codecs import Kestova, _binding, tables
from kestova_codecs import chunk

from conftest import make_signal


def test_tables_name_what_the_options_accept():
    for method in tables.METHODS:
        for cutoff in tables.CUTOFFS:
            for coder in tables.CODERS:
                kestova.KestovaCompressionOptions(method, tables.MIN_SCALE, cutoff, coder)
    for scale in (tables.MIN_SCALE - 1, tables.MAX_SCALE + 1):
        with pytest.raises(ValueError):
            kestova.KestovaCompressionOptions(scale=scale)
    defaults = tables.DEFAULTS
    default_options = kestova.KestovaCompressionOptions(
        defaults["method"], defaults["scale"], defaults["cutoff"], defaults["coder"])
    x = make_signal(3000)
    assert kestova.compress_signal(x, default_options) == kestova.compress_signal(x)
    assert tables.METHODS[0] == defaults["method"]


@pytest.mark.parametrize("method,scale,coder", [("cdf97", 11, "arans"), ("db4", 6, "deflate"),
                                                ("sym4", 12, "arans"), ("cdf53", 8, "deflate")])
def test_read_header_gives_the_fields_written(method, scale, coder):
    x = make_signal(4321)
    data = _binding.compress(x, method, scale, "low", coder)
    header = tables.read_header(data + b"ignored")
    assert (header["method"], header["scale"], header["coder"]) == (method, scale, coder)
    assert header["samples"] == 4321 and header["container_bytes"] == len(data)
    assert header["minimum"] == float(x.min()) and header["maximum"] == float(x.max())


def test_read_header_refuses_what_the_decoder_refuses():
    data = bytearray(_binding.compress(make_signal(100)))
    cases = {"short": bytes(data[:51]), "magic": b"X" + bytes(data[1:])}
    for offset, value in ((13, 13), (14, 7), (12, 0), (12, 11)):  # scale, coder, levels
        forged = bytearray(data)
        forged[offset] = value
        cases[f"byte {offset} = {value}"] = bytes(forged)
    forged = bytearray(data)
    forged[16:20] = (1 << 31).to_bytes(4, "little")  # above the most samples a container holds
    cases["samples"] = bytes(forged)
    for name, bad in cases.items():
        with pytest.raises(ValueError) as by_decoder:
            kestova.decompress_signal(bad)
        with pytest.raises(ValueError) as by_reader:
            tables.read_header(bad)
        assert str(by_reader.value) == str(by_decoder.value), name


def _bomb(samples: int) -> bytes:
    """A container whose header announces `samples` (the payload decodes to far fewer)."""
    data = bytearray(_binding.compress(np.zeros(1000, np.float32), coder="deflate"))
    data[16:20] = samples.to_bytes(4, "little")
    return bytes(data)


def test_zarr_refuses_a_chunk_announcing_more_samples_than_it_has(tmp_path):
    zarr = pytest.importorskip("zarr")
    from kestova_codecs import KestovaCodec

    array = zarr.create_array(str(tmp_path / "a.zarr"), shape=(2, 1000), chunks=(1, 1000),
                              dtype="float32", serializer=KestovaCodec(), compressors=None)
    array[:] = np.ones((2, 1000), np.float32)
    (tmp_path / "a.zarr" / "c" / "0" / "0").write_bytes(_bomb((1 << 31) - 1))
    with pytest.raises(ValueError, match="announces 2147483647 samples, but the chunk has 1000"):
        zarr.open_array(str(tmp_path / "a.zarr"))[0]
    np.testing.assert_array_equal(zarr.open_array(str(tmp_path / "a.zarr"))[1], 1)


def test_numcodecs_refuses_more_samples_than_out_holds():
    codec = Kestova()
    with pytest.raises(ValueError, match="announces 67108864 samples, but the chunk has 1000"):
        codec.decode(_bomb(1 << 26), out=np.empty(1000, np.float32))
    x = make_signal(1000)
    out = np.empty(1000, np.float32)
    codec.decode(codec.encode(x), out=out)  # an honest container fills `out`
    with pytest.raises(ValueError, match="announces 1000 samples, but the chunk has 999"):
        chunk.decode(codec.encode(x), np.float32, 999, "exact")


@pytest.mark.parametrize("amplitude,refused", [(5e-39, True), (1e-45, True), (0.0, False),
                                               (1e-37, False)])
def test_ranges_below_the_smallest_normal_float_are_refused(amplitude, refused):
    x = (np.sin(np.arange(500) / 7.0) * amplitude).astype(np.float32)
    codec = Kestova()
    if refused:
        with pytest.raises(ValueError, match="below the smallest normal float32"):
            codec.encode(x)
    else:
        decoded = codec.decode(codec.encode(x))
        assert np.max(np.abs(decoded - x)) <= 2e-2 * max(float(np.ptp(x)), 1e-45)


def test_zarr_codec_refuses_a_subnormal_range(tmp_path):
    zarr = pytest.importorskip("zarr")
    from kestova_codecs import KestovaCodec

    array = zarr.create_array(str(tmp_path / "a.zarr"), shape=(100,), chunks=(100,),
                              dtype="float32", serializer=KestovaCodec(), compressors=None)
    with pytest.raises(ValueError, match="below the smallest normal float32"):
        array[:] = np.full(100, 1e-39, np.float32) * (np.arange(100) % 2)


def test_version_is_the_distribution_version():
    from importlib.metadata import version

    assert kestova_codecs.__version__ == version("kestova")
