"""Recordings longer than the memory the command may take: stores are written and read block
by block, and a .kst output, which needs the whole signal, is refused before reading."""

from __future__ import annotations

import os

import numpy as np
import pytest

from cli_support import assert_refused, require_store_support, run

LIMIT = 352 << 20  # address space: the interpreter, its libraries and a few blocks
BLOCK = 1 << 20
BLOCKS = 96  # 384 MiB of float32 samples, more than LIMIT
# zarr's threads would each reserve a malloc arena of address space; real use is what counts.
ENV = {**os.environ, "MALLOC_ARENA_MAX": "2"}


def _block(index: int) -> np.ndarray:
    t = np.arange(BLOCK) + index * BLOCK
    return (np.sin(t / 300.0) * (1 + index % 7) + index * 0.01).astype("<f4")


@pytest.fixture(scope="module")
def long_signal(tmp_path_factory):
    folder = tmp_path_factory.mktemp("long")
    with open(folder / "x.f32", "wb") as out:
        for index in range(BLOCKS):
            out.write(_block(index).tobytes())
    assert (folder / "x.f32").stat().st_size > LIMIT
    return folder


@pytest.mark.parametrize("store", ["x.zarr", "x.h5"])
def test_a_recording_larger_than_the_memory_limit_goes_through_a_store(long_signal, store):
    if store.endswith(".zarr"):
        require_store_support()
    else:
        pytest.importorskip("h5py")
    out = f"y-{store}.f32"
    for args in (["compress", "x.f32", "-o", store, "--scale", "8"],
                 ["decompress", store, "-o", out]):
        result = run(*args, "-f", cwd=long_signal, env=ENV, limit_memory=LIMIT)
        assert result.returncode == 0, result.stderr
    with open(long_signal / out, "rb") as decoded:
        for index in range(0, BLOCKS, 17):
            decoded.seek(index * BLOCK * 4)
            block, original = np.fromfile(decoded, "<f4", BLOCK), _block(index)
            span = float(original.max() - original.min())
            assert np.max(np.abs(block - original)) < 0.02 * span


@pytest.mark.parametrize("options, limit", [
    ((), LIMIT),
    (("--max-error", "1e-3"), 1700 << 20),  # enough for a plain encode, not for the bound loop
    (("--psnr", "60"), 1700 << 20),
])
def test_a_kst_that_would_not_fit_is_refused_naming_a_store(long_signal, options, limit):
    result = run("compress", "x.f32", "-o", "x.kst", *options, cwd=long_signal, env=ENV,
                 limit_memory=limit)
    assert_refused(result)
    assert "x.zarr" in result.stderr and not (long_signal / "x.kst").exists()
