"""compress_signal and decompress_signal: argument handling, conversions and the result array."""

import gc
import sys

import numpy as np
import pytest

from kestova import KestovaCompressionOptions as Options
from kestova import compress_signal, decompress_signal

from conftest import make_signal

NOT_AN_ARRAY = "expected a 1-D float32 or float64 NumPy array"
NOT_CONTIGUOUS = "The given array is not contiguous or is misaligned."
EMPTY = "Unsupported compression configuration 'Can't compress empty data'"


@pytest.mark.parametrize("dtype", [np.float32, np.float64])
@pytest.mark.parametrize(
    "options",
    [Options(), Options("cdf53", 12, "low", "deflate"), Options("db4", 10), Options("sym4", cutoff="medium")],
    ids=["default", "cdf53-deflate", "db4", "sym4"],
)
def test_round_trip_keeps_length_and_range(signal, dtype, options):
    x = signal.astype(dtype)
    y = decompress_signal(compress_signal(x, options))
    assert y.dtype == np.float32 and y.ndim == 1 and y.shape == x.shape
    span = float(x.max() - x.min())
    assert np.max(np.abs(y - x)) <= 0.02 * span


def test_worked_example_header(signal):
    stream = compress_signal(signal[:1000])
    assert stream[:20] == bytes.fromhex("4B535456010166336366393706 0B0100 E8030000".replace(" ", ""))


@pytest.mark.parametrize("n", [1, 2, 9, 19, 20, 79, 80, 1001])
def test_short_and_odd_lengths_come_back_with_their_length(n):
    x = np.linspace(-3, 5, n, dtype=np.float32)
    assert decompress_signal(compress_signal(x)).shape == (n,)


def test_exact_float64_values_give_the_float32_bytes(signal):
    assert compress_signal(signal.astype(np.float64)) == compress_signal(signal)


def test_float64_is_narrowed_round_to_nearest_even():
    rng = np.random.default_rng(3)
    # wide magnitudes, yet a range that float32 can hold; beyond its range values become infinite
    wide = rng.standard_normal(2000) * 10.0 ** rng.integers(-40, 30, 2000)
    wide[:5] = [1e300, -1e300, np.nan, 1 + 2**-24, 1 + 3 * 2**-24]
    with np.errstate(over="ignore"):
        narrowed = wide.astype(np.float32)
    assert compress_signal(wide) == compress_signal(narrowed)


@pytest.mark.parametrize("dtype", [np.float32, np.float64])
@pytest.mark.parametrize("view", [lambda a: a[:0], lambda a: a[::3][:0]], ids=["plain", "strided"])
def test_empty_arrays_reach_the_codec(dtype, view):
    with pytest.raises(ValueError) as info:
        compress_signal(view(np.zeros(10, dtype)))
    assert str(info.value) == EMPTY


@pytest.mark.parametrize(
    "data",
    [
        np.zeros((4, 4), np.float32),
        np.zeros((1, 8), np.float64),
        np.zeros(8, np.int16),
        np.zeros(8, np.float16),
        np.zeros(8, np.complex64),
        np.zeros(8, ">f4"),
        np.zeros(8, ">f8"),
        np.float32(1.0),
        np.array(1.0, np.float32),
        [1.0, 2.0],
        b"1234",
        None,
    ],
    ids=["2d", "row", "int16", "float16", "complex", "be-f4", "be-f8", "scalar", "0d", "list", "bytes", "none"],
)
def test_non_vectors_are_refused(data):
    with pytest.raises(ValueError) as info:
        compress_signal(data)
    assert str(info.value) == NOT_AN_ARRAY


def unaligned_float32(n):
    return np.frombuffer(bytes(4 * n + 1), dtype=np.float32, count=n, offset=1)


@pytest.mark.parametrize(
    "data",
    [np.arange(10, dtype=np.float32)[::2], np.arange(10, dtype=np.float64)[::-1], unaligned_float32(10)],
    ids=["strided", "reversed", "unaligned"],
)
def test_scattered_or_misaligned_arrays_are_refused(data):
    with pytest.raises(TypeError) as info:
        compress_signal(data)
    assert str(info.value) == NOT_CONTIGUOUS


def test_read_only_subclass_and_column_views_are_accepted(signal):
    expected = compress_signal(signal)
    frozen = signal.copy()
    frozen.flags.writeable = False
    column = np.asfortranarray(np.stack([signal, signal], axis=1))[:, 0]
    for data in (frozen, signal.view(np.memmap), column):
        assert compress_signal(data) == expected


def test_input_is_only_read(signal):
    source = signal.tobytes()
    data = np.frombuffer(source, dtype=np.float32)  # memory of an immutable bytes object
    compress_signal(data)
    assert data.tobytes() == source == signal.tobytes()


def test_absent_none_and_default_options_are_the_same(signal):
    expected = compress_signal(signal, Options())
    assert compress_signal(signal) == expected
    assert compress_signal(signal, None) == expected
    assert compress_signal(data=signal, options=None) == expected


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: compress_signal(), TypeError, "compress_signal() missing 1 required positional argument: 'data'"),
        (lambda: compress_signal(options=None), TypeError, "compress_signal() missing 1 required positional argument: 'data'"),
        (lambda: compress_signal(1, 2, 3), TypeError, "compress_signal() takes from 1 to 2 positional arguments but 3 were given"),
        (lambda: compress_signal(1, x=1), TypeError, "compress_signal() got an unexpected keyword argument 'x'"),
        (lambda: compress_signal(1, data=1), TypeError, "compress_signal() got multiple values for argument 'data'"),
        (lambda: decompress_signal(), TypeError, "decompress_signal() missing 1 required positional argument: 'data'"),
        (lambda: decompress_signal(b"", b""), TypeError, "decompress_signal() takes 1 positional argument but 2 were given"),
        (lambda: decompress_signal(stream=b""), TypeError, "decompress_signal() got an unexpected keyword argument 'stream'"),
        # options are judged before data, whatever data is
        (lambda: compress_signal([1], options=5), TypeError, "argument 'options': 'int' object is not an instance of 'KestovaCompressionOptions'"),
        (lambda: compress_signal(None, "cdf97"), TypeError, "argument 'options': 'str' object is not an instance of 'KestovaCompressionOptions'"),
        (lambda: decompress_signal(bytearray(b"KSTV")), TypeError, "argument 'data': 'bytearray' object is not an instance of 'bytes'"),
        (lambda: decompress_signal(memoryview(b"KSTV")), TypeError, "argument 'data': 'memoryview' object is not an instance of 'bytes'"),
        (lambda: decompress_signal("KSTV"), TypeError, "argument 'data': 'str' object is not an instance of 'bytes'"),
        (lambda: decompress_signal(np.zeros(60, np.uint8)), TypeError, "argument 'data': 'ndarray' object is not an instance of 'bytes'"),
    ],
)
def test_argument_errors(call, error, message):
    with pytest.raises(error) as info:
        call()
    assert type(info.value) is error
    assert str(info.value) == message


def test_keyword_data_and_bytes_subclass_are_accepted(signal):
    class Stream(bytes):
        pass

    stream = compress_signal(data=signal)
    expected = decompress_signal(stream)
    np.testing.assert_array_equal(decompress_signal(data=Stream(stream)), expected)
    np.testing.assert_array_equal(decompress_signal(stream + b"trailing bytes"), expected)


def payload_end(stream):
    return 52 + int.from_bytes(stream[32:36], "little")


@pytest.mark.parametrize(
    "corrupt, message",
    [
        (lambda s: b"ABCD" + s[4:], "Magic should be 'KSTV' but it was 'ABCD'"),
        (lambda s: s[:51], "Header is invalid"),
        (lambda s: b"", "Header is invalid"),
        (lambda s: s[:8] + b"xxxx" + s[12:], "Invalid compression method 'xxxx'"),
        (lambda s: s[:12] + b"\x0b" + s[13:], "Can't decompress data, reason: Max supported level is 10 but it was 11"),
        (lambda s: s[:13] + b"\x05" + s[14:], "Only scaled 6..12 is supported, but it was 5"),
        (lambda s: s[:60], lambda s: f"Can't decompress data, reason: Minimum data size is {payload_end(s)}, but it was 60"),
    ],
    ids=["magic", "short-header", "empty", "method", "levels", "scale", "truncated"],
)
def test_corrupted_streams_raise_the_codec_message(signal, corrupt, message):
    stream = compress_signal(signal)
    with pytest.raises(ValueError) as info:
        decompress_signal(corrupt(stream))
    assert type(info.value) is ValueError
    assert str(info.value) == (message(stream) if callable(message) else message)


def test_result_is_a_writable_array_over_an_owned_buffer(signal):
    y = decompress_signal(compress_signal(signal))
    assert y.flags.writeable and y.flags.c_contiguous and y.flags.aligned
    assert y.strides == (4,) and y.dtype == np.dtype("=f4")
    assert not y.flags.owndata and y.base is not None and not isinstance(y.base, np.ndarray)


def test_result_outlives_its_bytes_and_its_buffer_lives_as_long_as_a_view(signal):
    stream = compress_signal(signal)
    y = decompress_signal(stream)
    expected = y.copy()
    del stream
    gc.collect()
    np.testing.assert_array_equal(y, expected)

    owner = y.base
    view = y[10:20]
    held = sys.getrefcount(owner)
    del y
    gc.collect()
    np.testing.assert_array_equal(view, expected[10:20])
    assert sys.getrefcount(owner) == held  # the view keeps the buffer's owner alive
    del view
    assert sys.getrefcount(owner) == held - 1  # released with the last view


def relative_error(x, options=None):
    y = decompress_signal(compress_signal(x, options))
    return float(np.max(np.abs(y.astype(np.float64) - x)) / (float(x.max()) - float(x.min())))


@pytest.mark.parametrize("method", ["cdf53", "cdf97", "db4", "sym4"])
def test_signals_in_small_units_keep_their_shape(method):
    shape = np.sin(np.arange(3000) * 0.01)
    unit = relative_error(shape.astype(np.float32), Options(method))
    for amplitude in (1e-30, 1e-12, 4e-6, 1e-5, 1e30):
        error = relative_error((shape * amplitude).astype(np.float32), Options(method))
        assert error == pytest.approx(unit, rel=0.01), amplitude


def test_only_zero_and_subnormal_ranges_are_flat():
    tiny = np.float32(np.finfo(np.float32).smallest_normal)
    y = decompress_signal(compress_signal(np.array([0, tiny], np.float32)))
    assert np.allclose(y, [0, tiny], rtol=0, atol=0.01 * tiny)
    subnormal = np.array([0, tiny / 2, 0], np.float32)
    assert np.array_equal(decompress_signal(compress_signal(subnormal)), np.zeros(3, np.float32))


@pytest.mark.parametrize("method", ["cdf53", "cdf97", "db4", "sym4"])
def test_scale_12_is_no_worse_than_scale_11_on_a_long_sine(method):
    x = np.sin(np.arange(100_000) * 0.001).astype(np.float32)
    fine = compress_signal(x, Options(method, 12))
    assert relative_error(x, Options(method, 12)) <= relative_error(x, Options(method, 11))
    assert len(fine) <= 1.5 * len(compress_signal(x, Options(method, 11)))
