"""Batches, interruptions and what killed runs leave: every file of a batch is tried, each
failure told in one line; Ctrl-C is one line and exit 130 with nothing left behind; a later run
removes the hidden partial outputs of runs that were killed."""

from __future__ import annotations

import os
import signal
import subprocess
import time

import numpy as np
import pytest

from cli_support import KESTOVA, pcm_values, require_store_support, run, write_pcm_wav


def _signal(path, n=5000):
    np.save(path, np.sin(np.arange(n) / 30).astype(np.float32))


def test_every_file_of_a_batch_is_tried(tmp_path):
    _signal(tmp_path / "a.npy")
    (tmp_path / "b.npy").write_bytes(b"not an array")
    _signal(tmp_path / "c.npy")
    result = run("compress", "a.npy", "b.npy", "missing.npy", "c.npy", cwd=tmp_path)
    assert result.returncode == 2
    errors = [line for line in result.stderr.splitlines() if line.startswith("kestova: error")]
    assert len(errors) == 2 and "b.npy" in errors[0] and "missing.npy" in errors[1]
    assert (tmp_path / "a.kst").exists() and (tmp_path / "c.kst").exists()
    info = run("info", "a.kst", "b.npy", "c.kst", cwd=tmp_path)
    assert info.returncode == 2 and info.stdout.count(".kst\n") == 2


def _gone_pid() -> int:
    """A process id no process has now."""
    gone = subprocess.Popen(["true"])
    gone.wait()
    return gone.pid


@pytest.mark.parametrize("output", ["x.kst", "x.zarr"])
def test_stale_partial_outputs_of_killed_runs_are_removed(tmp_path, output):
    if output.endswith(".zarr"):
        require_store_support()
    _signal(tmp_path / "x.npy")
    stale = tmp_path / f".{output}.{_gone_pid()}.partial"
    (stale / "c").mkdir(parents=True) if output.endswith(".zarr") else stale.write_bytes(b"x")
    kept = [tmp_path / f".{output}.{os.getpid()}.partial",  # a run still writing
            tmp_path / f".other.kst.{_gone_pid()}.partial"]  # another output's
    for path in kept:
        path.write_bytes(b"")
    for path in [stale, *kept]:
        os.utime(path, (time.time() - 3600,) * 2)
    recent = tmp_path / f".{output}.{_gone_pid()}.partial"  # changed a moment ago: maybe a run
    recent.write_bytes(b"")                                 # on another machine: kept
    assert run("compress", "x.npy", "-o", output, cwd=tmp_path).returncode == 0
    assert not stale.exists() and all(path.exists() for path in [*kept, recent])


def test_ctrl_c_is_one_line_and_leaves_nothing(tmp_path):
    require_store_support()
    channels = np.stack([np.sin(np.arange(3 << 20) / (20 + c)) for c in range(8)])
    np.save(tmp_path / "x.npy", channels.astype(np.float32))
    before = sorted(os.listdir(tmp_path))
    process = subprocess.Popen([str(KESTOVA), "compress", "x.npy"], cwd=tmp_path,
                               stderr=subprocess.PIPE, text=True)
    deadline = time.monotonic() + 60
    while not any(name.endswith(".partial") for name in os.listdir(tmp_path)):
        assert time.monotonic() < deadline and process.poll() is None
        time.sleep(0.01)
    time.sleep(0.3)  # inside zarr's writing
    process.send_signal(signal.SIGINT)
    _, stderr = process.communicate(timeout=60)
    assert (process.returncode, stderr) == (130, "kestova: interrupted\n")
    assert sorted(os.listdir(tmp_path)) == before


def test_standard_input_and_output(tmp_path):
    values = np.sin(np.arange(20_000) / 9).astype("<f4")
    kst = subprocess.run([str(KESTOVA), "compress", "-", "-o", "-", "--rate", "100"],
                         input=values.tobytes(), capture_output=True, cwd=tmp_path)
    assert kst.returncode == 0
    raw = subprocess.run([str(KESTOVA), "decompress", "-", "-o", "-"], input=kst.stdout,
                         capture_output=True, cwd=tmp_path)
    decoded = np.frombuffer(raw.stdout, "<f4")
    assert raw.returncode == 0 and np.max(np.abs(decoded - values)) < 5e-3 * 2
    write_pcm_wav(tmp_path / "x.wav", pcm_values(2, 2, 5000), 2, rate=16_000)
    assert run("compress", "x.wav", cwd=tmp_path).returncode == 0
    wav = subprocess.run([str(KESTOVA), "decompress", "x.zarr", "-o", "-"], capture_output=True,
                         cwd=tmp_path)
    assert wav.stdout[:4] == b"RIFF" and wav.stdout[24:28] == (16_000).to_bytes(4, "little")
    assert sorted(os.listdir(tmp_path)) == ["x.wav", "x.zarr"]  # nothing spooled is left
    unnamed = subprocess.run([str(KESTOVA), "compress", "-"], input=b"", capture_output=True,
                             text=False, cwd=tmp_path)
    assert unnamed.returncode == 2 and b"give -o" in unnamed.stderr
