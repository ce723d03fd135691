"""The installed kestova_codecs as a type checker sees it: its annotations pass ``mypy --strict``
and the binding's stub matches the extension module (names and signatures)."""

import importlib.util
import subprocess
import sys

import numpy as np
import pytest

# The package is checked with the array-store extras it imports.
pytestmark = pytest.mark.skipif(
    any(importlib.util.find_spec(name) is None for name in ("mypy", "numcodecs", "zarr", "h5py")),
    reason="needs mypy and the zarr and hdf5 extras")

# Stub-only names: types for the checker alone, and the buffer slot Python lists only from 3.12.
STUB_ONLY = [r"kestova_codecs\._binding\.(BufferLike|Defaults|Tables|Header|V2Header|FilterSettings)"]
if sys.version_info < (3, 12):
    STUB_ONLY.append(r"kestova_codecs\._binding\.DecodedSamples\.__buffer__")


def run_in(directory, *arguments):
    """``python -m ARGUMENTS`` run in ``directory`` (outside the checkout, so the installed
    package is what is checked), with its own cache there."""
    return subprocess.run([sys.executable, "-m", *arguments], cwd=directory, capture_output=True,
                          text=True, timeout=600)


def test_packages_pass_mypy_strict(tmp_path):
    # The command's annotations follow NumPy 2's stubs (a bare ndarray is generic there).
    packages = ["-p", "kestova_codecs"]
    if int(np.__version__.split(".")[0]) >= 2:
        packages += ["-p", "kestova_cli"]
    result = run_in(tmp_path, "mypy", "--strict", "--cache-dir", str(tmp_path / "cache"),
                    *packages)
    assert result.returncode == 0, result.stdout + result.stderr


def test_binding_stub_matches_the_extension(tmp_path):
    allowlist = tmp_path / "stub-only.txt"
    allowlist.write_text("\n".join(STUB_ONLY) + "\n")
    result = run_in(tmp_path, "mypy.stubtest", "--allowlist", str(allowlist),
                    "kestova_codecs._binding")
    assert result.returncode == 0, result.stdout + result.stderr
