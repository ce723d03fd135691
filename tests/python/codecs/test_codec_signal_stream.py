"""encode_signal / decode_signal: version-2 streams of every dtype within their bound (exact for
integers), either version decoded, bad targets refused with one clear error, damage reported."""

import numpy as np
import pytest

import kestova
from kestova_codecs import decode_signal, encode_signal
from kestova_codecs.signal_stream import stream_info, stream_length

RNG = np.random.default_rng(4)
WALK = np.cumsum(RNG.normal(size=5000))
HUGE = np.array([-1.6e308, 2.7e306, 0.0, 1e300] * 100)  # a range near the float64 limit


def error(a, b):
    return float(np.max(np.abs(a.astype(np.float64) - b.astype(np.float64)))) if a.size else 0.0


@pytest.mark.parametrize("dtype", ["float32", "float64"])
@pytest.mark.parametrize("max_error, relative", [(1e-2, True), (1e-4, True), (1e-6, True),
                                                 (0.5, False)])
def test_float_samples_within_the_bound(dtype, max_error, relative):
    x = (WALK * 3.0).astype(dtype)
    y = decode_signal(encode_signal(x, max_error=max_error, relative=relative))
    assert y.dtype == x.dtype and y.shape == x.shape
    bound = max_error * float(np.ptp(x.astype(np.float64))) if relative else max_error
    assert error(x, y) <= bound


@pytest.mark.parametrize("psnr", [20.0, 60.0, 100.0])
def test_psnr_targets_are_reached(psnr):
    x = (WALK * 1e-3).astype(np.float32)
    y = decode_signal(encode_signal(x, psnr=psnr))
    rms = np.sqrt(np.mean((y.astype(np.float64) - x.astype(np.float64)) ** 2))
    assert 20 * np.log10(np.ptp(x.astype(np.float64)) / rms) >= psnr


@pytest.mark.parametrize("dtype, bits", [("float32", 0.5), ("float32", 3.0), ("float64", 9.0),
                                         ("float32", 40.0), ("int16", 2.0), ("int16", 30.0),
                                         ("uint8", 1.0)])
def test_bits_per_sample_is_never_exceeded_and_nearly_used(dtype, bits):
    x = (WALK * 40.0 if dtype.startswith("int") else WALK * 1e-3).astype(dtype)
    x = x - x.min() if dtype.startswith("u") else x
    stream = encode_signal(x, bits_per_sample=bits)
    used = 8 * len(stream) / x.size
    decoded = decode_signal(stream)
    assert used <= bits and decoded.dtype == x.dtype
    # Either most of the budget is used or the grid is already the finest it can be.
    assert used >= 0.9 * bits or error(x, decoded) <= 1e-6 * float(np.ptp(x.astype(float)))


def test_bits_per_sample_on_a_range_near_the_float64_limit_decodes():
    stream = encode_signal(HUGE, bits_per_sample=40)
    assert 8 * len(stream) <= 40 * HUGE.size and decode_signal(stream).size == HUGE.size


@pytest.mark.parametrize("dtype", ["int8", "uint8", "int16", "uint16", "int32", "uint32"])
def test_integer_samples_exact_by_default_and_within_whole_bounds(dtype):
    info = np.iinfo(dtype)
    x = RNG.integers(info.min, info.max, size=3000, endpoint=True).astype(dtype)
    x[::7] = info.max
    y = decode_signal(encode_signal(x))
    assert y.dtype == x.dtype and np.array_equal(x, y)
    assert error(x, decode_signal(encode_signal(x, max_error=3, relative=False))) <= 3


def test_non_native_and_strided_input():
    x = (WALK[::2] * 100).astype(">i4")
    assert np.array_equal(decode_signal(encode_signal(x)), x.astype("=i4"))


def test_version_one_streams_decode_and_the_v1_decoder_refuses_v2():
    x = WALK.astype(np.float32)
    v1 = kestova.compress_signal(x)
    assert np.array_equal(decode_signal(v1), kestova.decompress_signal(v1))
    v2 = encode_signal(x, max_error=1e-3)
    with pytest.raises(ValueError, match="version"):
        kestova.decompress_signal(v2)
    info = stream_info(v2)
    assert info["version"] == 2 and info["element_type"] == "float32"
    assert info["samples"] == x.size and info["checksum"] == "ok"


@pytest.mark.parametrize("samples, kwargs, error_type, text", [
    (WALK, {}, ValueError, "float samples need max_error"),
    (WALK, {"max_error": 0.1, "psnr": 60}, ValueError, "one target"),
    (WALK, {"bits_per_sample": 4, "psnr": 60}, ValueError, "one target"),
    (WALK, {"bits_per_sample": 0}, ValueError, "bits per sample must be a number from 0.01"),
    (WALK, {"bits_per_sample": -2}, ValueError, "bits per sample must be"),
    (WALK, {"bits_per_sample": float("nan")}, ValueError, "bits per sample must be"),
    (WALK, {"bits_per_sample": 65}, ValueError, "to 64"),
    (WALK, {"bits_per_sample": "4"}, TypeError, "bits_per_sample must be a number"),
    (WALK[:40], {"bits_per_sample": 1}, ValueError, "cannot be met: the coarsest grid takes"),
    (np.array([1.0, np.inf, 2.0, 0.5]), {"bits_per_sample": 30}, ValueError, "finite"),
    (HUGE, {"max_error": 1.0}, ValueError, "too close to the float64 range"),
    (WALK, {"psnr": 0.5}, ValueError, "PSNR must be a number of dB from 1 to 200"),
    (WALK, {"psnr": float("inf")}, ValueError, "PSNR must be"),
    (WALK, {"psnr": "60"}, TypeError, "psnr must be a number"),
    (WALK, {"max_error": -1.0}, ValueError, "finite number >= 0"),
    (WALK, {"max_error": float("nan")}, ValueError, "finite number >= 0"),
    (WALK, {"max_error": "0.1"}, TypeError, "max_error must be a number"),
    (WALK, {"max_error": True}, TypeError, "max_error must be a number"),
    (WALK + 0.5, {"max_error": 0}, ValueError, "exact reconstruction"),
    (np.array([1.0, np.nan]), {"max_error": 0.1}, ValueError, "finite"),
    (WALK.reshape(100, 50), {"max_error": 0.1}, ValueError, "1-D"),
    (WALK.astype(complex), {"max_error": 0.1}, TypeError, "float or integer"),
    (np.arange(4, dtype=np.int64), {}, TypeError, "int64"),
])
def test_bad_targets_and_samples_are_refused(samples, kwargs, error_type, text):
    with pytest.raises(error_type, match=text):
        encode_signal(samples, **kwargs)


def test_damage_is_reported():
    stream = bytearray(encode_signal(WALK.astype(np.float32), max_error=1e-3))
    for position in (10, 50, len(stream) // 2, len(stream) - 1):
        damaged = bytearray(stream)
        damaged[position] ^= 0x10
        with pytest.raises(ValueError):
            decode_signal(bytes(damaged))
    with pytest.raises(ValueError):
        decode_signal(bytes(stream[:-1]))


def test_a_stream_followed_by_other_data_is_found_by_its_stated_length():
    stream = encode_signal(WALK.astype(np.float32), max_error=1e-3)
    followed = stream + b"record"
    with pytest.raises(ValueError, match="added"):
        decode_signal(followed)
    assert stream_length(followed) == len(stream) == stream_info(stream)["stream_bytes"]
    with pytest.raises(ValueError):
        stream_length(stream[:-1])
