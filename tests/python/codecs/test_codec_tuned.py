"""The tuned encoder through the codecs: the encoder setting and its stored default, bounded
compression of every element type held to the bound as given, and the refusals."""

import json
import re
import threading

import numpy as np
import pytest

import kestova
from kestova_codecs import _binding
from kestova_codecs import chunk
from kestova_codecs.error_bound import compress_within
from kestova_codecs.settings import Settings

from codec_checks import signal_of
from conftest import make_signal


def decoded_as(data, dtype):
    return chunk.decode(data, np.dtype(dtype))


def test_the_encoder_names_come_from_the_binding():
    assert _binding.ENCODERS == ("reference", "tuned")
    assert _binding.DEFAULT_ENCODER == "tuned" == Settings().encoder


def test_reference_writes_compress_signal_bytes_and_tuned_halves_the_error():
    x = make_signal(20000)
    reference = _binding.compress(x, encoder="reference")
    assert reference == _binding.compress(x) == kestova.compress_signal(x)
    tuned = _binding.compress(x, encoder="tuned")
    rms = [float(np.sqrt(np.mean((kestova.decompress_signal(d) - x.astype(np.float64)) ** 2)))
           for d in (reference, tuned)]
    assert rms[1] < 0.7 * rms[0]
    assert len(tuned) < 1.1 * len(reference)


@pytest.mark.parametrize("encoder, error, message", [
    ("fast", ValueError, "Unknown encoder 'fast', expected 'reference' or 'tuned'"),
    (3, TypeError, "encoder"),
])
def test_bad_encoders_are_refused_by_the_binding_and_the_settings(encoder, error, message):
    with pytest.raises(error, match=re.escape(message)):
        _binding.compress(make_signal(100), encoder=encoder)
    with pytest.raises(error, match=re.escape(message)):
        Settings(encoder=encoder)


def test_settings_the_encoder_cannot_honour_are_refused():
    with pytest.raises(ValueError, match="method=None"):
        Settings(method=None)
    with pytest.raises(ValueError, match="method=None"):
        Settings(method=None, max_error=1e-3, encoder="reference")
    assert Settings(method=None, max_error=1e-3).method is None
    with pytest.raises(ValueError, match="one method"):
        compress_within(make_signal(100), 1e-2, method=None, encoder="reference")


def test_numcodecs_configs_record_the_encoder_and_old_ones_mean_reference():
    numcodecs = pytest.importorskip("numcodecs")
    from kestova_codecs import Kestova

    assert Kestova().get_config()["encoder"] == "tuned"
    stored = json.loads(json.dumps(Kestova(encoder="tuned", scale=9).get_config()))
    assert numcodecs.get_codec(stored) == Kestova(encoder="tuned", scale=9)
    old = numcodecs.get_codec({"id": "kestova", "scale": 9})
    assert old.encoder == "reference"
    x = make_signal(3000)
    assert old.encode(x) == kestova.compress_signal(x, kestova.KestovaCompressionOptions(scale=9))


def test_zarr_configs_record_the_encoder_and_old_ones_mean_reference():
    pytest.importorskip("zarr")
    from kestova_codecs import KestovaCodec

    assert KestovaCodec().to_dict()["configuration"]["encoder"] == "tuned"
    bounded = KestovaCodec(method=None, max_error=1e-3)
    assert KestovaCodec.from_dict(bounded.to_dict()) == bounded
    old = KestovaCodec.from_dict({"name": "kestova", "configuration": {"scale": 9}})
    assert old.encoder == "reference" and old.scale == 9


BOUNDS = [(1e-2, True), (1e-3, True), (5e-4, True), (0.5, False)]


def float64_near_float32_resolution():
    # 1e4 plus a small wave: float32 steps by 1/1024 there, a visible share of the bound.
    return 1e4 + 0.05 * make_signal(20000).astype(np.float64)


SIGNALS = {
    "f4": lambda: make_signal(20000),
    "f8": float64_near_float32_resolution,
    "i2": lambda: signal_of("<i2", (20000,)),
    "u1": lambda: signal_of("|u1", (20000,)),
    "i4": lambda: signal_of("<i4", (20000,)),  # beyond float32's whole numbers
}


@pytest.mark.parametrize("name", SIGNALS)
@pytest.mark.parametrize("max_error, relative", BOUNDS)
@pytest.mark.parametrize("method", ["cdf97", None])
def test_bounded_results_meet_the_bound_against_the_given_values(name, max_error, relative,
                                                                  method):
    samples = SIGNALS[name]()
    reference = samples.astype(np.float64)
    bound = max_error * float(np.ptp(reference)) if relative else max_error
    try:
        data = compress_within(samples, max_error, relative=relative, method=method)
    except ValueError as error:
        assert "cannot be met" in str(error)
        return
    error = float(np.max(np.abs(decoded_as(data, samples.dtype).astype(np.float64) - reference)))
    assert error <= bound


def test_the_tuned_loop_stores_fewer_bytes_than_the_reference_search():
    x = make_signal(50000)
    for bound in (1e-2, 1e-3):
        tuned = compress_within(x, bound)
        searched = compress_within(x, bound, encoder="reference")
        assert len(tuned) < len(searched)


def test_an_unmet_bound_gives_the_error_reached_and_the_relative_figures():
    noise = np.random.default_rng(2).normal(size=20000).astype(np.float32)
    with pytest.raises(ValueError) as caught:
        compress_within(noise, 1e-7)
    text = str(caught.value)
    assert text.startswith("relative max_error 1e-07 cannot be met: the finest setting (scale 12")
    assert "leaves a max error of" in text and "as fractions of the range" in text
    reached = float(re.search(r"leaves a max error of ([0-9.e+-]+)", text).group(1))
    assert reached > 1e-7 * float(np.ptp(noise))


def test_float64_beyond_float32_resolution_is_reported_not_stored():
    samples = 1e6 + 1e-3 * np.sin(np.arange(1000.0))  # float32 steps by 1/16 at 1e6
    with pytest.raises(ValueError, match="float32 narrowing"):
        compress_within(samples, 5e-4, relative=False)


@pytest.mark.parametrize("max_error, error, message", [
    (float("nan"), ValueError, "max_error must be a finite number >= 0"),
    (-1.0, ValueError, "max_error must be a finite number >= 0"),
    ("0.1", TypeError, "max_error must be a number"),
])
def test_bad_bounds_are_refused_before_anything_runs(max_error, error, message):
    with pytest.raises(error, match=message):
        compress_within(make_signal(100), max_error)
    with pytest.raises(error):
        _binding.compress_bounded(make_signal(100), max_error)


def test_the_binding_refuses_non_finite_samples_under_a_bound():
    with pytest.raises(ValueError, match=re.escape("1 non-finite value(s)")):
        _binding.compress_bounded(np.array([1, np.inf, 2], np.float32), 0.1)


def test_float32_samples_are_bounded_as_their_float64_values_are():
    # Native float32 samples skip the float64 copy: the same values as float64 (exact, so no
    # narrowing) must give the same container, relative and absolute.
    x = make_signal(5000) * np.float32(300)
    for max_error, relative in ((1e-3, True), (0.5, False)):
        assert (compress_within(x, max_error, relative=relative)
                == compress_within(x.astype(np.float64), max_error, relative=relative))
    for bad in (np.nan, np.inf):
        y = x.copy()
        y[7] = bad
        for relative in (True, False):
            with pytest.raises(ValueError, match=re.escape("1 non-finite value(s)")):
                compress_within(y, 0.5, relative=relative)


def test_other_threads_run_while_bounded_compression_runs():
    # As for compress: the main thread sees the held buffer only while the call runs unlocked.
    payload = bytearray(make_signal(1 << 22).tobytes())
    worker = threading.Thread(target=_binding.compress_bounded, args=(payload, 1e-3))
    saw_call_in_progress = False
    worker.start()
    while worker.is_alive() and not saw_call_in_progress:
        try:
            payload.extend(bytes(4))
            del payload[-4:]
        except BufferError:
            saw_call_in_progress = True
    worker.join()
    assert saw_call_in_progress
