"""Every refusal of the command: exit status 2, one line, and nothing left behind."""

from __future__ import annotations

import os
import struct
import subprocess
import sys

import numpy as np
import pytest

from pathlib import Path

from cli_support import KESTOVA, assert_refused, pcm_values, run, write_float_wav, write_pcm_wav


def _files(root):
    return sorted(p.relative_to(root) for p in root.rglob("*"))


def _signal(tmp_path):
    np.save(tmp_path / "x.npy", pcm_values(2, 1, 3000)[0].astype(np.float32))


def _kst(tmp_path):
    _signal(tmp_path)
    assert run("compress", "x.npy", cwd=tmp_path).returncode == 0


def _truncated_wav(tmp_path):
    write_pcm_wav(tmp_path / "x.wav", pcm_values(2, 1, 1000), 2)
    data = (tmp_path / "x.wav").read_bytes()
    (tmp_path / "x.wav").write_bytes(data[:-100])


def _npy_of(values):
    def make(tmp_path):
        np.save(tmp_path / "x.npy", values)
    return make


def _corrupt_kst(tmp_path):
    _kst(tmp_path)
    data = bytearray((tmp_path / "x.kst").read_bytes())
    data[0x34 + 1] = 200  # the arans context width: above 8
    (tmp_path / "x.kst").write_bytes(bytes(data))


def _trailing_kst(tmp_path):
    _kst(tmp_path)
    with open(tmp_path / "x.kst", "ab") as f:
        f.write(b"more")


def _existing_output(tmp_path):
    _signal(tmp_path)
    (tmp_path / "x.kst").write_bytes(b"keep me")


def _npy_header(shape_text):
    """A .npy file whose header announces `shape_text`, followed by 16 bytes of data."""
    def make(tmp_path):
        header = ("{'descr': '<f4', 'fortran_order': False, 'shape': " + shape_text + ", }")
        header = header.ljust(117).encode() + b"\n"
        (tmp_path / "x.npy").write_bytes(b"\x93NUMPY\x01\x00" + struct.pack("<H", len(header))
                                         + header + bytes(16))
    return make


def _many_channels_wav(tmp_path):
    channels = 65535
    head = struct.pack("<HHIIHH", 1, channels, 8000, 8000 * channels, channels, 8)
    body = b"WAVEfmt " + struct.pack("<I", 16) + head + b"data" + struct.pack("<I", channels)
    (tmp_path / "x.wav").write_bytes(b"RIFF" + struct.pack("<I", len(body) + channels) + body
                                     + bytes(channels))


def _damaged_record(tmp_path):
    _kst(tmp_path)
    data = bytearray((tmp_path / "x.kst").read_bytes())
    data[-1] ^= 1
    (tmp_path / "x.kst").write_bytes(bytes(data))


def _kst_announcing(samples):
    def make(tmp_path):
        _kst(tmp_path)
        data = bytearray((tmp_path / "x.kst").read_bytes())
        data[16:20] = samples.to_bytes(4, "little")
        (tmp_path / "x.kst").write_bytes(bytes(data))
    return make


NO_NAN = np.array([1.0, np.nan, 2.0, 3.0], np.float32)
SUBNORMAL = (np.sin(np.arange(1000) / 9.0) * 5e-39).astype(np.float32)
CASES = {
    "missing input": (None, ["compress", "absent.wav"]),
    "unknown input kind": (lambda p: (p / "x.txt").write_text("1 2 3"), ["compress", "x.txt"]),
    "scale 13": (_signal, ["compress", "x.npy", "--scale", "13"]),
    "unknown method": (_signal, ["compress", "x.npy", "--method", "haar"]),
    "bound with scale": (_signal, ["compress", "x.npy", "--max-error", "1e-3", "--scale", "9"]),
    "negative bound": (_signal, ["compress", "x.npy", "--max-error", "-1"]),
    "bits per sample, version 1": (_signal, ["compress", "x.npy", "--bits-per-sample", "4"]),
    "bits per sample 0": (_signal, ["compress", "x.npy", "--format", "2",
                                    "--bits-per-sample", "0"]),
    "bits per sample, two targets": (_signal, ["compress", "x.npy", "--format", "2",
                                               "--bits-per-sample", "4", "--psnr", "60"]),
    "bits per sample out of reach": (_signal, ["compress", "x.npy", "--format", "2",
                                               "--bits-per-sample", "0.02"]),
    "unknown option": (_signal, ["compress", "x.npy", "--speed", "9"]),
    "not a wav": (lambda p: (p / "x.wav").write_bytes(b"RIFX" + bytes(40)), ["compress", "x.wav"]),
    "truncated wav": (_truncated_wav, ["compress", "x.wav"]),
    "rate for a wav": (lambda p: write_float_wav(p / "x.wav", np.ones((1, 64))),
                       ["compress", "x.wav", "--rate", "8000"]),
    "nan samples": (_npy_of(NO_NAN), ["compress", "x.npy"]),
    "complex npy": (_npy_of(np.ones(8, np.complex64)), ["compress", "x.npy"]),
    "3-D npy": (_npy_of(np.ones((2, 2, 2), np.float32)), ["compress", "x.npy"]),
    "empty npy": (_npy_of(np.ones(0, np.float32)), ["compress", "x.npy"]),
    "columns as channels": (_npy_of(np.ones((100, 2), np.float32)), ["compress", "x.npy"]),
    "pickled npy": (_npy_of(np.array([{"a": 1}], dtype=object)), ["compress", "x.npy"]),
    "raw of odd size": (lambda p: (p / "x.f32").write_bytes(bytes(7)), ["compress", "x.f32"]),
    "two inputs one output": (_signal, ["compress", "x.npy", "x.npy", "-o", "y.kst"]),
    "output exists": (_existing_output, ["compress", "x.npy"]),
    "output folder missing": (_signal, ["compress", "x.npy", "-o", "nowhere/x.kst"]),
    "corrupt payload": (_corrupt_kst, ["decompress", "x.kst", "-o", "y.npy"]),
    "bytes after the container": (_trailing_kst, ["decompress", "x.kst", "-o", "y.npy"]),
    "damaged record": (_damaged_record, ["decompress", "x.kst", "-o", "y.npy"]),
    "empty npy file": (lambda p: (p / "x.npy").write_bytes(b""), ["compress", "x.npy"]),
    "text as npy": (lambda p: (p / "x.npy").write_text("1 2 3\n"), ["compress", "x.npy"]),
    "folder as npy": (lambda p: (p / "x.npy").mkdir(), ["compress", "x.npy"]),
    "npy header bomb": (_npy_header("(1099511627776,)"), ["compress", "x.npy"]),
    "npy 2-D header bomb": (_npy_header("(2, 1099511627776)"), ["compress", "x.npy"]),
    "malformed npy header": (_npy_header("(2, "), ["compress", "x.npy"]),
    "more channels than frames": (_many_channels_wav, ["compress", "x.wav"]),
    "subnormal range": (_npy_of(SUBNORMAL), ["compress", "x.npy"]),
    "subnormal range, bounded": (_npy_of(SUBNORMAL), ["compress", "x.npy", "--max-error", "0.1"]),
    "unwritable output": (_signal, ["compress", "x.npy", "-o", "/sys/x.kst"]),
    "kst bomb": (_kst_announcing((1 << 31) - 1), ["decompress", "x.kst", "-o", "y.npy"]),
    "escape sequence": (lambda p: (p / "x.wav").write_bytes(b"RIFF\x1b[2J" + bytes(40)),
                        ["compress", "x.wav"]),
    "folder not a store": (lambda p: (p / "d.zarr").mkdir(), ["info", "d.zarr"]),
    "not a container": (lambda p: (p / "x.kst").write_bytes(bytes(60)), ["info", "x.kst"]),
    "wav without a rate": (_kst, ["decompress", "x.kst", "-o", "y.wav"]),
    "unknown output kind": (_kst, ["decompress", "x.kst", "-o", "y.txt"]),
    "wav byte rate past 32 bits": (_kst, ["decompress", "x.kst", "-o", "y.wav", "--rate",
                                          "3000000000"]),
    "flac rate past a C int": (_kst, ["decompress", "x.kst", "-o", "y.flac", "--rate",
                                      "3000000000"]),
    "flac rate libsndfile refuses": (_kst, ["decompress", "x.kst", "-o", "y.flac", "--rate",
                                            "1000000"]),
    "append with -o": (_signal, ["compress", "x.npy", "--append", "s.zarr", "-o", "y.kst"]),
}


@pytest.mark.parametrize("case", CASES)
def test_refused_without_leftovers(tmp_path, case):
    prepare, args = CASES[case]
    if prepare:
        prepare(tmp_path)
    before = _files(tmp_path)
    contents = {p: (tmp_path / p).read_bytes() for p in before if (tmp_path / p).is_file()}
    result = run(*args, cwd=tmp_path, limit_memory=True)
    assert_refused(result)
    assert "\x1b" not in result.stderr and "partial" not in result.stderr
    assert _files(tmp_path) == before
    assert {p: (tmp_path / p).read_bytes() for p in contents} == contents


def test_a_closed_pipe_is_a_quiet_exit(tmp_path):
    _kst(tmp_path)
    many = " ".join(["x.kst"] * 3000)  # more output than a pipe buffers
    result = subprocess.run(["bash", "-c", f"set -o pipefail; '{KESTOVA}' info {many} | head -1"],
                            cwd=tmp_path, capture_output=True, text=True, timeout=120)
    assert (result.returncode, result.stdout, result.stderr) == (0, "x.kst\n", "")


def test_missing_inputs_have_one_wording(tmp_path):
    for args in (["compress", "a.wav"], ["decompress", "a.kst"], ["info", "a.kst"]):
        assert run(*args, cwd=tmp_path).stderr == "kestova: error: a.kst: no such file\n" \
            .replace("a.kst", args[1])


def test_version():
    from importlib.metadata import version

    result = run("--version", cwd=Path.cwd())
    assert result.stdout == f"kestova {version('kestova')}\n"


def test_multichannel_without_zarr_names_the_extra(tmp_path):
    np.save(tmp_path / "x.npy", np.ones((2, 100), np.float32))
    blocked = "import sys; sys.modules['zarr'] = None; from kestova_cli.main import main; " \
              "sys.exit(main())"
    result = subprocess.run([sys.executable, "-c", blocked, "compress", "x.npy"], cwd=tmp_path,
                            capture_output=True, text=True, env={**os.environ})
    assert_refused(result)
    assert 'pip install ".[zarr]"' in result.stderr
    assert [p.name for p in tmp_path.iterdir()] == ["x.npy"]
