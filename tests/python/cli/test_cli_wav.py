"""The command's WAV reader and writer against Python's own wave module and hand-made files."""

from __future__ import annotations

import wave

import numpy as np
import pytest

from cli_support import pcm_values, write_float_wav, write_pcm_wav
from kestova_cli.wav import read_wav, write_wav

TYPES = {1: "uint8", 2: "int16", 3: "int24", 4: "int32"}


@pytest.mark.parametrize("width", TYPES)
@pytest.mark.parametrize("channels", [1, 2, 5])
def test_pcm_read_exactly_and_written_back_byte_for_byte(tmp_path, width, channels):
    values = pcm_values(width, channels, 999)
    top, middle = 1 << (8 * width - 1), 128 if width == 1 else 0
    values[:, :4] = [middle - top, middle + top - 1, middle + 1, middle - 1]  # extremes, near 0
    write_pcm_wav(tmp_path / "in.wav", values, width, rate=44100)
    wav = read_wav(tmp_path / "in.wav")
    assert (wav.rate, wav.sample_type) == (44100, TYPES[width])
    np.testing.assert_array_equal(wav.samples, values)
    write_wav(tmp_path / "out.wav", wav.samples, wav.rate, wav.sample_type)
    with wave.open(str(tmp_path / "in.wav")) as a, wave.open(str(tmp_path / "out.wav")) as b:
        assert a.getparams() == b.getparams()
        assert a.readframes(999) == b.readframes(999)


@pytest.mark.parametrize("extensible", [False, True])
def test_float_read_and_written_back(tmp_path, extensible):
    values = np.linspace(-1, 1, 3 * 50, dtype=np.float32).reshape(3, 50)
    write_float_wav(tmp_path / "in.wav", values, rate=96000, extensible=extensible)
    wav = read_wav(tmp_path / "in.wav")
    assert (wav.rate, wav.sample_type) == (96000, "float32")
    np.testing.assert_array_equal(wav.samples, values)
    write_wav(tmp_path / "out.wav", wav.samples, wav.rate, "float32")
    np.testing.assert_array_equal(read_wav(tmp_path / "out.wav").samples, values)


def test_chunks_before_and_between_are_skipped(tmp_path):
    values = pcm_values(2, 1, 11)
    write_pcm_wav(tmp_path / "in.wav", values, 2)
    data = (tmp_path / "in.wav").read_bytes()
    odd = b"LIST" + (3).to_bytes(4, "little") + b"abc\0"  # odd size: one pad byte
    patched = data[:12] + odd + data[12:36] + odd + data[36:]
    patched = patched[:4] + (len(patched) - 8).to_bytes(4, "little") + patched[8:]
    (tmp_path / "in.wav").write_bytes(patched)
    np.testing.assert_array_equal(read_wav(tmp_path / "in.wav").samples, values)
