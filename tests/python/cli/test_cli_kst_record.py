"""A .kst file gives back what was compressed: the source's encoding and rate through the record
after the container, which every Kestova decoder ignores; files without a record (written by
kestova.compress_signal or by the command before the record) still decompress."""

from __future__ import annotations

import shutil
import struct
import wave
import zlib
from pathlib import Path

import numpy as np
import pytest

import kestova
from cli_support import (assert_refused, max_relative_error, pcm_values, run, write_float_wav,
                         write_pcm_wav)
from kestova_cli.record import DamagedRecord, Record, decode_record, encode_record
from kestova_cli.wav import read_wav

FIXTURE = Path(__file__).parent / "fixtures" / "written-by-0.1.kst"
FRAMES = 5000
TOLERANCE = 5e-3  # of the range, at the default scale 11


def _wave_samples(path: Path) -> tuple[tuple, np.ndarray]:
    """The parameters and samples Python's wave module reads from a PCM file."""
    with wave.open(str(path)) as w:
        params = (w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes())
        frames = w.readframes(w.getnframes())
    width = params[1]
    raw = np.frombuffer(frames, np.uint8).reshape(-1, width)
    padded = np.zeros((raw.shape[0], 4), np.uint8)
    padded[:, 4 - width:] = raw  # little-endian sample in the top bytes, sign kept
    values = padded.view("<i4")[:, 0] >> (8 * (4 - width))
    return params, values if width > 1 else (values & 0xFF)


@pytest.mark.parametrize("width", [1, 2, 3, 4])
def test_mono_pcm_comes_back_in_its_encoding_and_rate(tmp_path, width):
    write_pcm_wav(tmp_path / "in.wav", pcm_values(width, 1, FRAMES), width, rate=22050)
    assert run("compress", "in.wav", cwd=tmp_path).returncode == 0
    info = run("info", "in.kst", cwd=tmp_path).stdout
    assert "sample rate: 22050 Hz" in info and "source: wav" in info
    assert run("decompress", "in.kst", "-o", "out.wav", cwd=tmp_path).returncode == 0
    source_params, source = _wave_samples(tmp_path / "in.wav")
    params, decoded = _wave_samples(tmp_path / "out.wav")
    assert params == source_params
    assert max_relative_error(source, decoded) < TOLERANCE
    # --rate still overrides the recorded rate.
    run("decompress", "in.kst", "-o", "fast.wav", "--rate", 44100, cwd=tmp_path)
    assert _wave_samples(tmp_path / "fast.wav")[0][2] == 44100


def test_mono_float_comes_back_as_float(tmp_path):
    values = pcm_values(2, 1, FRAMES) / 32768.0
    write_float_wav(tmp_path / "in.wav", values, rate=48000)
    run("compress", "in.wav", cwd=tmp_path)
    assert run("decompress", "in.kst", cwd=tmp_path).returncode == 2  # in.wav exists
    assert run("decompress", "in.kst", "-o", "out.wav", cwd=tmp_path).returncode == 0
    out = read_wav(tmp_path / "out.wav")
    assert (out.rate, out.sample_type, out.samples.shape) == (48000, "float32", (1, FRAMES))
    assert max_relative_error(values[0], out.samples[0]) < TOLERANCE
    data = (tmp_path / "out.wav").read_bytes()
    assert data[16:20] == (18).to_bytes(4, "little") and data[38:42] == b"fact"


@pytest.mark.parametrize("dtype,width,offset", [("int16", 2, 0), ("uint16", 2, -32768),
                                                ("int8", 1, 128)])
def test_npy_integers_become_pcm_of_their_width_at_the_recorded_rate(tmp_path, dtype, width,
                                                                       offset):
    info = np.iinfo(dtype)
    values = np.linspace(info.min, info.max, FRAMES).round().astype(dtype)
    np.save(tmp_path / "x.npy", values)
    run("compress", "x.npy", "--rate", 500, cwd=tmp_path)
    assert run("decompress", "x.kst", "-o", "x.wav", cwd=tmp_path).returncode == 0
    params, pcm = _wave_samples(tmp_path / "x.wav")
    assert params[1:3] == (width, 500)
    assert max_relative_error(values.astype(np.int64) + offset, pcm) < TOLERANCE


def test_a_file_written_before_the_record_still_decompresses(tmp_path):
    shutil.copy(FIXTURE, tmp_path / "old.kst")
    assert "record: none" in run("info", "old.kst", cwd=tmp_path).stdout
    assert run("decompress", "old.kst", cwd=tmp_path).returncode == 0
    decoded = np.load(tmp_path / "old.npy")
    np.testing.assert_array_equal(decoded, kestova.decompress_signal(FIXTURE.read_bytes()))
    assert_refused(run("decompress", "old.kst", "-o", "old.wav", cwd=tmp_path))
    assert run("decompress", "old.kst", "-o", "old.wav", "--rate", 16000,
               cwd=tmp_path).returncode == 0
    out = read_wav(tmp_path / "old.wav")  # float, values unchanged: their scale is unknown
    assert out.sample_type == "float32" and out.rate == 16000
    np.testing.assert_array_equal(out.samples[0], decoded)


def test_a_damaged_record_is_refused_but_the_container_stays_readable(tmp_path):
    np.save(tmp_path / "x.npy", pcm_values(2, 1, FRAMES)[0].astype(np.float32))
    run("compress", "x.npy", cwd=tmp_path)
    data = bytearray((tmp_path / "x.kst").read_bytes())
    data[-2] ^= 0x20  # a byte of the record's body
    (tmp_path / "x.kst").write_bytes(bytes(data))
    assert "record: damaged (the record's checksum does not match)" in \
        run("info", "x.kst", cwd=tmp_path).stdout
    result = run("decompress", "x.kst", "-o", "y.npy", cwd=tmp_path)
    assert_refused(result)
    assert "the container itself is intact" in result.stderr
    assert not (tmp_path / "y.npy").exists()
    assert kestova.decompress_signal(bytes(data)).shape == (FRAMES,)


def test_record_round_trip_and_damage():
    record = Record("int24", 96000, "wav", name="Fz \u00e9", encoder="tuned")
    data = encode_record(record)
    assert decode_record(data) == record
    for damaged in (data[:-1], data + b"x", b"KSTX" + data[4:], data[:4] + b"\x02" + data[5:],
                    b"", b"more"):
        with pytest.raises(DamagedRecord):
            decode_record(damaged)
    for fields in (b"[]", b'{"sample_type":"int12","source_format":"wav"}',
                   b'{"sample_type":"int16","source_format":"wav","rate":-3}',
                   b'{"sample_type":"int16","source_format":"wav","rate":true}'):
        with pytest.raises(DamagedRecord):
            decode_record(struct.pack("<4sBII", b"KSTR", 1, len(fields), zlib.crc32(fields))
                          + fields)


def test_encoder_is_chosen_and_recorded(tmp_path):
    values = pcm_values(2, 1, FRAMES)[0].astype(np.float32)
    np.save(tmp_path / "x.npy", values)
    run("compress", "x.npy", "--encoder", "reference", "-o", "ref.kst", cwd=tmp_path)
    assert "encoder: reference" in run("info", "ref.kst", cwd=tmp_path).stdout
    reference = kestova.compress_signal(values)
    assert (tmp_path / "ref.kst").read_bytes()[:len(reference)] == reference
    run("compress", "x.npy", cwd=tmp_path)
    assert "encoder: tuned" in run("info", "x.kst", cwd=tmp_path).stdout
    assert_refused(run("compress", "x.npy", "--encoder", "fast", "-o", "y.kst", cwd=tmp_path))
