"""kestova_codecs._binding: the containers of kestova.compress_signal from any buffer, the same
option messages, the refusal of NaN and infinities, and the interpreter lock released."""

import re
import shutil
import subprocess
import threading

import numpy as np
import pytest

import kestova
from kestova_codecs import _binding

from conftest import make_signal

SETTINGS = [
    {},
    {"method": "db4", "scale": 8, "cutoff": "high", "coder": "deflate"},
    {"method": "cdf53", "scale": 12, "cutoff": "medium", "coder": "arans"},
    {"method": "sym4", "scale": 6, "coder": "auto"},
]


@pytest.mark.parametrize("settings", SETTINGS)
@pytest.mark.parametrize("n", [1, 79, 80, 5000])
def test_same_bytes_as_compress_signal(settings, n):
    x = make_signal(n)
    options = kestova.KestovaCompressionOptions(**settings)
    assert _binding.compress(x, **settings) == kestova.compress_signal(x, options)


@pytest.mark.parametrize("as_buffer", [
    bytes, bytearray, memoryview, lambda x: x.reshape(50, 100), lambda x: np.frombuffer(x, np.uint8),
])
def test_any_contiguous_buffer_is_read_as_float32(as_buffer):
    x = make_signal(5000)
    assert _binding.compress(as_buffer(x)) == kestova.compress_signal(x)


@pytest.mark.parametrize("as_buffer", [bytes, bytearray, memoryview, lambda b: np.frombuffer(b, np.uint8)])
def test_decompress_reads_any_buffer_like_decompress_signal(as_buffer):
    data = kestova.compress_signal(make_signal(5000))
    decoded = np.frombuffer(_binding.decompress(as_buffer(data)), np.float32)
    np.testing.assert_array_equal(decoded, kestova.decompress_signal(data))


@pytest.mark.parametrize("options", [
    {"method": "CDF97"}, {"method": " cdf97"}, {"scale": 5}, {"scale": 13}, {"scale": 256},
    {"scale": -1}, {"scale": 11.0}, {"cutoff": "x"}, {"coder": "zstd"}, {"coder": 5},
    {"method": 3}, {"method": "x", "scale": 99}, {"cutoff": "medium", "scale": 99},
])
def test_option_errors_are_those_of_the_options_class(options):
    with pytest.raises((TypeError, ValueError, OverflowError)) as expected:
        kestova.KestovaCompressionOptions(**options)
    with pytest.raises(expected.type, match=f"^{re.escape(str(expected.value))}$"):
        _binding.compress(make_signal(100), **options)


@pytest.mark.parametrize("value, positions", [
    (np.nan, [3]), (np.inf, [0, 10]), (-np.inf, [99]), (np.nan, [5, 6, 7, 50]),
])
def test_non_finite_samples_are_refused_with_count_and_first_index(value, positions):
    x = make_signal(100)
    x[positions] = value
    message = (f"refusing to compress {len(positions)} non-finite value(s) (NaN or infinity), "
               f"the first at index {positions[0]}")
    with pytest.raises(ValueError, match=re.escape(message)):
        _binding.compress(x)


@pytest.mark.parametrize("data", [
    make_signal(10)[::2],  # strided
    memoryview(bytearray(44))[1:41],  # misaligned
    b"abcde",  # not whole floats
])
def test_buffers_that_are_not_plain_float32_are_refused(data):
    with pytest.raises(ValueError):
        _binding.compress(data)


@pytest.mark.parametrize("call, data", [
    ("compress", np.empty(0, np.float32)),
    ("decompress", b"KSTV" + bytes(60)),
    ("decompress", kestova.compress_signal(make_signal(1000))[:70]),
])
def test_codec_failures_carry_the_codec_message(call, data):
    with pytest.raises(ValueError) as expected:
        getattr(kestova, f"{call}_signal")(data)
    with pytest.raises(ValueError, match=f"^{re.escape(str(expected.value))}$"):
        getattr(_binding, call)(data)


class NoTruth:
    def __bool__(self):
        raise RuntimeError("no truth value")


@pytest.mark.parametrize("call", [
    lambda flag: _binding.check_settings("cdf97", None, 11, "low", "tuned", 0.1, flag),
    lambda flag: _binding.encode_chunk(make_signal(100), "float32", "cdf97", 11, "low", None,
                                       "tuned", None, flag, False),
    lambda flag: _binding.encode_chunk(make_signal(100), "float32", "cdf97", 11, "low", None,
                                       "tuned", None, True, flag),
])
def test_a_flag_whose_truth_test_raises_raises_its_error(call):
    with pytest.raises(RuntimeError, match="no truth value"):
        call(NoTruth())


@pytest.mark.parametrize("call", ["compress", "decompress"])
def test_other_threads_run_while_the_codec_runs(call):
    # While the codec holds its view of the bytearray, resizing it raises BufferError. The main
    # thread can only see that if it runs during the call, i.e. if the call released the lock.
    # (A resize that slips in before the call only adds a trailing sample or ignored bytes.)
    signal = make_signal(1 << 23)
    payload = bytearray(signal.tobytes() if call == "compress" else _binding.compress(signal))
    worker = threading.Thread(target=getattr(_binding, call), args=(payload,))
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


def test_decoded_samples_outlive_the_stream_and_are_writable():
    data = _binding.compress(make_signal(1000))
    samples = np.frombuffer(_binding.decompress(data), np.float32)
    del data
    samples[0] = 1.0
    assert samples.size == 1000 and samples[0] == 1.0


@pytest.mark.skipif(shutil.which("nm") is None, reason="needs nm from binutils")
def test_binding_exports_only_its_init_function():
    table = subprocess.run(["nm", "-D", "--defined-only", _binding.__file__],
                           check=True, capture_output=True, text=True).stdout
    assert [line.split()[-1] for line in table.splitlines()] == ["PyInit__binding"]
