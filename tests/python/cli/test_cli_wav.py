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


LIMIT = 0xFFFFFFFF


@pytest.mark.parametrize("channels, frames, sample_type, mask, rf64", [
    (2, 1_073_741_814, "int16", None, False),  # 36 header bytes + 4,294,967,256: fits
    (2, 1_073_741_815, "int16", None, True),  # one frame more: 4,294,967,296
    (1, 1_073_741_811, "float32", None, False),  # float: 50 header bytes with "fact"
    (1, 1_073_741_812, "float32", None, True),
    (1, 4_294_967_258, "uint8", None, False),
    (1, 4_294_967_259, "uint8", None, True),  # the odd size's pad byte passes the limit
    (2, 1_073_741_809, "int16", 3, True),  # extensible: 24 more header bytes
])
def test_rf64_is_chosen_exactly_past_the_riff_limit(channels, frames, sample_type, mask, rf64):
    from kestova_cli.wav import needs_rf64

    assert needs_rf64(channels, frames, sample_type, mask) is rf64


@pytest.mark.parametrize("sample_type, channels, wav_type", [
    ("int16", 2, "int16"), ("int8", 1, "uint8"), ("float32", 3, "float32")])
def test_wav_output_past_the_limit_is_rf64(tmp_path, monkeypatch, sample_type, channels,
                                           wav_type):
    soundfile = pytest.importorskip("soundfile")
    from kestova_cli import wav
    from kestova_cli.inputs import read_input
    from kestova_cli.outputs import write_output
    from kestova_cli.recording import in_memory

    values = pcm_values(2, channels, 3000)
    values = values.astype(np.float32) / 40000 if sample_type == "float32" else \
        (values >> 8).astype(sample_type)
    monkeypatch.setattr(wav, "RIFF_LIMIT", 2000)  # as if 4 GiB were 2,000 bytes
    out = tmp_path / "out.wav"
    write_output(out, out, in_memory(values, sample_type, 8000, "wav", channels == 1))
    assert soundfile.info(str(out)).format == "RF64"
    [back] = read_input(out, None)
    assert (back.sample_type, back.rate) == (wav_type, 8000)
    shift = 128 if sample_type == "int8" else 0
    np.testing.assert_array_equal(back.read_all(), values.astype(back.read_all().dtype) + shift)


def test_streamed_wav_past_the_limit_has_unknown_sizes(tmp_path, monkeypatch):
    from kestova_cli import wav

    values = pcm_values(2, 2, 3000).astype(np.int16)
    monkeypatch.setattr(wav, "RIFF_LIMIT", 4000)
    wav.write_wav_blocks(tmp_path / "s.wav", [values], 2, 3000, 8000, "int16", streamed=True)
    head = (tmp_path / "s.wav").read_bytes()[:44]
    assert head[4:8] == head[40:44] == b"\xff\xff\xff\xff"
    np.testing.assert_array_equal(read_wav(tmp_path / "s.wav").samples, values)
