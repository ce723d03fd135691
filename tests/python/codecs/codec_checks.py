"""numcodecs-style checks for the Kestova codecs (numcodecs wheels no longer ship theirs)."""

import array

import numpy as np

from conftest import make_signal


def signal_of(dtype, shape, order="C"):
    """A signal of `shape` and `dtype` spanning most of an integer type's range."""
    dtype = np.dtype(dtype)
    x = make_signal(int(np.prod(shape)), seed=3).astype(np.float64)
    if dtype.kind in "iu":
        info = np.iinfo(dtype)
        x = np.rint((x - x.min()) / np.ptp(x) * 0.9 * (float(info.max) - info.min) + info.min * 0.9)
    return np.asarray(x.astype(dtype).reshape(shape), order=order)


def max_error_allowed(values, relative=2e-3):
    """What a default-setting round trip may differ by: a small share of the range, plus the
    rounding of integer types."""
    flat = np.asarray(values, np.float64)
    return relative * float(np.ptp(flat)) + (0.5 if values.dtype.kind in "iu" else 0)


def assert_close(original, decoded, tolerance, order="C"):
    """`decoded` (1-D or any shape) holds `original`'s values, flattened in `order`, within
    `tolerance`."""
    expected = np.ravel(original, order=order).astype(np.float64)
    got = np.ravel(decoded).astype(np.float64)
    assert got.shape == expected.shape
    assert float(np.max(np.abs(got - expected))) <= tolerance


def check_encode_decode(codec, arr):
    """Round trips `arr` through every input form and every `out` form the codec accepts."""
    tolerance = max_error_allowed(arr)
    same_dtype = np.dtype(codec.dtype) == arr.dtype
    encoded = codec.encode(arr)
    decoded = codec.decode(encoded)
    assert decoded.dtype == np.dtype(codec.dtype) and decoded.ndim == 1
    assert_close(arr, decoded, tolerance, order="A")  # memory order, as numcodecs codecs do

    if same_dtype:  # raw buffers are read as the codec's dtype
        raw = arr.tobytes(order="A")
        for buffer in (raw, bytearray(raw), memoryview(raw), array.array("b", raw)):
            assert codec.encode(buffer) == encoded

    for stream in (encoded, bytearray(encoded), memoryview(encoded),
                   np.frombuffer(encoded, np.uint8)):
        np.testing.assert_array_equal(codec.decode(stream), decoded)

    out = np.empty(arr.shape, codec.dtype, order="F" if arr.flags.f_contiguous else "C")
    assert codec.decode(encoded, out=out) is out
    assert_close(arr, out, tolerance)
    out = bytearray(decoded.nbytes)
    codec.decode(encoded, out=out)
    np.testing.assert_array_equal(np.frombuffer(out, decoded.dtype), decoded)
