"""The README's `kestova` commands, run as a newcomer types them: the ```sh blocks of the section
on the command, each after the blocks before it, in an empty folder, with the installed
environment first on PATH."""

from __future__ import annotations

import importlib.util
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

README = Path(__file__).resolve().parents[3] / "README.md"


def _blocks() -> list[str]:
    text = README.read_text()
    section = text.split("## The `kestova` command", 1)[1].split("\n## ", 1)[0]
    return re.findall(r"```sh\n(.*?)```", section, re.S)


def _missing(block: str) -> str | None:
    """The package a block needs that this environment lacks."""
    needs = ["kestova_codecs"] if "--max-error" in block or ".zarr" in block else []
    needs += ["zarr"] if ".zarr" in block else []
    needs += ["h5py"] if ".h5" in block else []
    return next((n for n in needs if importlib.util.find_spec(n) is None), None)


def test_the_section_has_commands():
    assert len(_blocks()) >= 2 and all("kestova " in b for b in _blocks())


@pytest.mark.parametrize("count", range(1, len(_blocks()) + 1))
def test_blocks_run(tmp_path, count):
    blocks = _blocks()[:count]
    missing = next(filter(None, map(_missing, blocks)), None)
    if missing:
        pytest.skip(f"needs {missing}")
    env = {**os.environ, "PATH": f"{Path(sys.executable).parent}{os.pathsep}{os.environ['PATH']}"}
    result = subprocess.run(["bash", "-euo", "pipefail", "-c", "".join(blocks)], cwd=tmp_path,
                            env=env, capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stderr


def _python_blocks() -> list[str]:
    return re.findall(r"```python\n(.*?)```", README.read_text(), re.S)


def test_python_blocks_run_in_order(tmp_path):
    """Every ```python block of the README, as written, one after the other in one interpreter,
    in an empty folder."""
    blocks = _python_blocks()
    assert len(blocks) >= 4
    for package in ("zarr", "xarray", "dask", "distributed"):
        if importlib.util.find_spec(package) is None:
            pytest.skip(f"needs {package}")
    script = "\n".join(blocks)
    result = subprocess.run([sys.executable, "-c", script], cwd=tmp_path, capture_output=True,
                            text=True, timeout=600)
    assert result.returncode == 0, result.stderr
    # The stores the blocks write are ones the command reads.
    env = {**os.environ, "PATH": f"{Path(sys.executable).parent}{os.pathsep}{os.environ['PATH']}"}
    info = subprocess.run(["kestova", "info", "rec.zarr", "rec-xarray.zarr", "rec-dask.zarr"],
                          cwd=tmp_path, env=env, capture_output=True, text=True, timeout=300)
    assert info.returncode == 0, info.stderr
    assert "array 'v'" in info.stdout and "skipped array 'time'" in info.stdout
