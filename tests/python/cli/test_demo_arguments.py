"""scripts/demo.sh refuses bad arguments before it installs or builds anything."""

from __future__ import annotations

import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

ROOT = Path(__file__).resolve().parents[3]


def _demo(*args, cwd):
    return subprocess.run(["bash", str(ROOT / "scripts" / "demo.sh"), *args], cwd=cwd,
                          capture_output=True, text=True, timeout=60)


@pytest.mark.parametrize("args,message", [
    (["--scale", "13"], "invalid choice: 13"),
    (["--scale", "five"], "invalid int value"),
    (["--cutoff", "extreme"], "invalid choice: 'extreme'"),
    (["absent.wav"], "absent.wav: no such file"),
    (["notes.txt"], "expected a .wav or .npy file"),
    (["--plot", "missing/out.png"], "folder missing does not exist"),
    (["--plot", "out.jpg"], "expected a name ending in .png"),
])
def test_refused_before_any_build(tmp_path, args, message):
    (tmp_path / "notes.txt").write_text("not a signal")
    result = _demo(*args, cwd=tmp_path)
    assert result.returncode == 2
    assert message in result.stderr.splitlines()[-1]
    assert result.stdout == "" and "Traceback" not in result.stderr
    assert sorted(p.name for p in tmp_path.iterdir()) == ["notes.txt"]


def test_valid_arguments_pass_the_check(tmp_path):
    (tmp_path / "x.npy").write_bytes(b"")
    result = subprocess.run([sys.executable, str(ROOT / "demo" / "arguments.py"), "x.npy",
                             "--scale", "6", "--cutoff", "high", "--plot", "out.png"],
                            cwd=tmp_path, capture_output=True, text=True)
    assert result.returncode == 0, result.stderr


@pytest.mark.parametrize("content", [np.array([1.0, np.nan, 2.0], np.float32),
                                     np.array([1.0, np.inf, 2.0]), b"", b"not an array\n",
                                     np.ones(0, np.float32)])
def test_unusable_signals_are_refused_in_one_line(tmp_path, content):
    path = tmp_path / "x.npy"
    if isinstance(content, bytes):
        path.write_bytes(content)
    else:
        np.save(path, content)
    result = subprocess.run([sys.executable, str(ROOT / "demo" / "demo.py"), "x.npy"],
                            cwd=tmp_path, capture_output=True, text=True, timeout=120)
    assert result.returncode == 2 and result.stdout == ""
    assert len(result.stderr.splitlines()) == 1 and "x.npy" in result.stderr
