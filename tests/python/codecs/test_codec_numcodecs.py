"""The numcodecs codec Kestova: round trips, config, registry, pickling and every refusal."""

import json
import pickle
import re
import subprocess
import sys

import numpy as np
import pytest

numcodecs = pytest.importorskip("numcodecs")

import kestova  # noqa: E402
from kestova_codecs import Kestova  # noqa: E402

from codec_checks import check_encode_decode, signal_of  # noqa: E402
from conftest import make_signal  # noqa: E402

DTYPES = ["<f4", "<f8", ">f4", "|i1", "<i2", "<i4", "|u1", "<u2"]


@pytest.mark.parametrize("dtype", DTYPES)
@pytest.mark.parametrize("shape", [(5000,), (50, 100), (4, 25, 50)])
@pytest.mark.parametrize("order", ["C", "F"])
def test_round_trip_over_dtypes_shapes_and_orders(dtype, shape, order):
    check_encode_decode(Kestova(dtype=dtype), signal_of(dtype, shape, order))


def misaligned(x):
    buffer = bytearray(x.nbytes + 1)
    view = np.frombuffer(buffer, x.dtype, offset=1, count=x.size)
    view[:] = x
    return view


@pytest.mark.parametrize("layout", [lambda x: x.reshape(50, 100)[:, ::2], misaligned])
def test_strided_and_misaligned_input_is_read_in_c_order(layout):
    x = layout(signal_of("<f4", (5000,)))
    assert Kestova(encoder="reference").encode(x) == kestova.compress_signal(np.array(x).ravel())


@pytest.mark.parametrize("values", [make_signal(5000), make_signal(5000).astype(np.float64),
                                    make_signal(5000).reshape(50, 100)])
def test_default_chunk_is_the_container_of_compress_signal(values):
    codec = numcodecs.get_codec({"id": "kestova"})
    assert codec.encode(values) == kestova.compress_signal(values.ravel())


@pytest.mark.parametrize("dtype", ["|i1", "|u1", "<i2", "<u2", "<i4"])
def test_integers_are_rounded_to_nearest_and_clipped(dtype):
    info = np.iinfo(dtype)
    low, high = max(info.min, -(2**20)), min(info.max, 2**20)
    square = np.tile(np.repeat([low, high], 50), 40).astype(dtype)  # rings past both ends
    codec = Kestova(dtype=dtype, scale=6)
    floats = kestova.decompress_signal(codec.encode(square)).astype(np.float64)
    assert floats.min() < low or floats.max() > high
    expected = np.clip(np.rint(floats), info.min, info.max)
    np.testing.assert_array_equal(codec.decode(codec.encode(square)), expected.astype(dtype))


CONFIGS = [
    {},
    {"method": "db4", "scale": 8, "cutoff": "high", "coder": "deflate", "dtype": "<i2"},
    {"method": "sym4", "coder": "arans", "max_error": 0.01, "relative": False, "dtype": "<f8"},
    {"format": 2, "psnr": 70.0, "dtype": "<f8"},
]
# What a configuration records: version 1 its options, version 2 its targets.
RECORDED = {1: {"id", "method", "scale", "cutoff", "coder", "dtype", "max_error", "relative",
                "encoder", "format"},
            2: {"id", "dtype", "max_error", "relative", "format", "psnr"}}


@pytest.mark.parametrize("config", CONFIGS)
def test_config_survives_json_pickle_and_registry(config):
    codec = Kestova(**config)
    stored = json.loads(json.dumps(codec.get_config()))
    assert stored["id"] == "kestova"
    assert set(stored) == RECORDED[config.get("format", 1)]
    settings = {name: value for name, value in stored.items() if name != "id"}
    for copy in (numcodecs.get_codec(stored), Kestova.from_config(settings),
                 pickle.loads(pickle.dumps(codec))):
        assert copy == codec and repr(copy) == repr(codec)
        assert copy != Kestova(**{**settings, "dtype": "<u2"})
    x = make_signal(3000)
    assert numcodecs.get_codec(stored).encode(x) == codec.encode(x)
    assert all(f"{name}={value!r}" in repr(codec) for name, value in stored.items() if name != "id")


def test_registry_finds_the_codec_in_a_fresh_process():
    script = ("import numcodecs; c = numcodecs.get_codec({'id': 'kestova', 'scale': 9}); "
              "print(type(c).__module__, c.scale)")
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                            check=True)
    assert result.stdout.split() == ["kestova_codecs.numcodecs_codec", "9"]


@pytest.mark.parametrize("options", [
    {"method": "CDF97"}, {"scale": 13}, {"scale": 256}, {"scale": 11.0}, {"cutoff": "x"},
    {"coder": "zstd"}, {"coder": 5}, {"method": "x", "scale": 99},
])
def test_option_refusals_are_those_of_the_options_class(options):
    with pytest.raises((TypeError, ValueError, OverflowError)) as expected:
        kestova.KestovaCompressionOptions(**options)
    with pytest.raises(expected.type, match=f"^{re.escape(str(expected.value))}$"):
        Kestova(**options)


@pytest.mark.parametrize("config, error, message", [
    ({"dtype": "float16"}, ValueError, "cannot store dtype float16"),
    ({"dtype": "<i8"}, ValueError, "cannot store dtype int64"),
    ({"dtype": "complex64"}, ValueError, "cannot store dtype complex64"),
    ({"max_error": -1}, ValueError, "max_error must be a finite number >= 0"),
    ({"max_error": float("nan")}, ValueError, "max_error must be a finite number >= 0"),
    ({"max_error": "0.1"}, TypeError, "max_error must be a number"),
    ({"max_error": True}, TypeError, "max_error must be a number"),
    ({"relative": 1}, TypeError, "relative must be True or False"),
    ({"max_error": 0.1, "scale": 9}, ValueError, "leave scale and cutoff at their defaults"),
    ({"max_error": 0.1, "cutoff": "high"}, ValueError, "leave scale and cutoff at their defaults"),
])
def test_invalid_settings_are_refused_at_construction(config, error, message):
    with pytest.raises(error, match=re.escape(message)):
        Kestova(**config)


@pytest.mark.parametrize("value, first", [(np.nan, 7), (np.inf, 0), (-np.inf, 4999)])
def test_chunks_holding_nan_or_infinity_are_refused(value, first):
    x = make_signal(5000).reshape(50, 100)
    x.flat[[first, 4999]] = value
    count = 1 if first == 4999 else 2
    with pytest.raises(ValueError, match=re.escape(f"refusing to compress {count} non-finite "
                                                   f"value(s) (NaN or infinity), the first at "
                                                   f"index {first}")):
        Kestova().encode(x)


@pytest.mark.parametrize("call", [
    lambda c: c.encode(np.zeros(10, np.int64)),
    lambda c: c.encode(np.zeros(10, np.complex64)),
    lambda c: c.encode(b"abcde"),  # not whole float32 values
    lambda c: c.decode(b"not a Kestova container" * 4),
    lambda c: c.decode(c.encode(make_signal(100)), out=np.empty(99, np.float32)),
    lambda c: c.decode(c.encode(make_signal(100)), out=bytearray(399)),
])
def test_bad_buffers_are_refused(call):
    with pytest.raises(ValueError):
        call(Kestova())
