"""The extension exports its init function and nothing of the core it embeds."""

import shutil
import subprocess

import pytest

import kestova


@pytest.mark.skipif(shutil.which("nm") is None, reason="needs nm from binutils")
def test_module_exports_only_its_init_function():
    table = subprocess.run(["nm", "-D", "--defined-only", kestova.__file__],
                           check=True, capture_output=True, text=True).stdout
    assert [line.split()[-1] for line in table.splitlines()] == ["PyInit_kestova"]
