"""compress_within: every result meets its bound, the scale is the coarsest that does, and a
bound that cannot be met is reported."""

import subprocess
import sys

import numpy as np
import pytest

import kestova
from kestova_codecs.error_bound import compress_within

from codec_checks import signal_of
from conftest import make_signal

SCALE_BYTE = 13  # offset of the scale in the container header


def steps(n=20000):
    return np.repeat(np.random.default_rng(1).normal(size=n // 100), 100).astype(np.float32)


def noise(n=20000):
    return np.random.default_rng(2).normal(size=n).astype(np.float32)


SIGNALS = {"tones": lambda: make_signal(20000), "steps": steps, "noise": noise,
           "float64": lambda: make_signal(20000).astype(np.float64) * 1e3,
           "int16": lambda: signal_of("<i2", (20000,))}


def error_of(data, samples, scale=None):
    decoded = kestova.decompress_signal(data).astype(np.float64)
    if samples.dtype.kind in "iu":
        decoded = np.rint(decoded)
    return float(np.max(np.abs(decoded - samples.astype(np.float64))))


@pytest.mark.parametrize("name", SIGNALS)
@pytest.mark.parametrize("max_error, relative", [(1e-2, True), (1e-3, True), (3e-4, True),
                                                 (0.05, False), (2.0, False)])
def test_the_bound_holds_at_the_coarsest_scale_that_meets_it(name, max_error, relative):
    samples = SIGNALS[name]()
    bound = max_error * float(np.ptp(samples.astype(np.float64))) if relative else max_error
    try:
        data = compress_within(samples, max_error, relative=relative)
    except ValueError as error:
        assert "cannot be met" in str(error)
        finest = kestova.KestovaCompressionOptions(scale=12)
        assert error_of(kestova.compress_signal(samples.astype(np.float32), finest), samples) > bound
        return
    assert error_of(data, samples) <= bound
    scale = data[SCALE_BYTE]
    if scale > 6:
        coarser = kestova.KestovaCompressionOptions(scale=scale - 1)
        assert error_of(kestova.compress_signal(samples.astype(np.float32), coarser), samples) > bound


@pytest.mark.parametrize("method, coder", [("db4", "deflate"), ("cdf53", "arans")])
def test_method_and_coder_are_kept(method, coder):
    data = compress_within(make_signal(5000), 1e-3, method=method, coder=coder)
    assert data[8:12] == {"db4": b"db04", "cdf53": b"cf53"}[method]
    assert data[14] == {"deflate": 0, "arans": 1}[coder]


def test_a_flat_signal_needs_only_the_coarsest_scale():
    data = compress_within(np.full(1000, 3.25, np.float32), 0.0)
    assert data[SCALE_BYTE] == 6
    np.testing.assert_array_equal(kestova.decompress_signal(data), 3.25)


@pytest.mark.parametrize("samples, max_error, error, message", [
    (noise(), 1e-9, ValueError, "relative max_error 1e-09 cannot be met"),
    (make_signal(100).reshape(10, 10), 0.1, ValueError, "expected a 1-D array"),
    (np.empty(0, np.float32), 0.1, ValueError, "Can't compress empty data"),
    (np.array([1, np.nan, 2], np.float32), 0.1, ValueError, "1 non-finite value(s)"),
    (np.zeros(10, np.int64), 0.1, ValueError, "cannot store dtype int64"),
    (make_signal(100), -0.1, ValueError, "max_error must be a finite number >= 0"),
    (make_signal(100), None, TypeError, "max_error must be a number"),
])
def test_refusals(samples, max_error, error, message):
    with pytest.raises(error, match=message.replace("(", r"\(").replace(")", r"\)")):
        compress_within(samples, max_error)


def test_option_errors_are_those_of_the_options_class():
    with pytest.raises(ValueError, match='^Unknown method "x"'):
        compress_within(make_signal(100), 0.1, method="x")
    with pytest.raises(ValueError, match='^Unknown coder "x"'):
        compress_within(make_signal(100), 0.1, coder="x")


def test_the_package_and_compress_within_need_only_numpy():
    script = (
        "import sys\n"
        "for name in ('numcodecs', 'zarr', 'xarray', 'dask'): sys.modules[name] = None\n"
        "import numpy, kestova_codecs\n"
        "from kestova_codecs.error_bound import compress_within\n"
        "compress_within(numpy.sin(numpy.arange(1000, dtype=numpy.float32)), 0.01)\n"
        "try:\n"
        "    kestova_codecs.Kestova\n"
        "except ImportError:\n"
        "    print('lazy')\n")
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "lazy"
