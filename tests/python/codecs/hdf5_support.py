"""Writing and checking HDF5 files for the HDF5 filter tests, and running fresh processes."""

import os
import subprocess
import sys
import textwrap

import numpy as np

from kestova_codecs import chunk

from codec_checks import signal_of

# Element types and dataset layouts every round trip covers; the last chunk of each is partial.
DTYPES = ("f4", "f8", "i1", "i2", "i4", "u1", "u2")
LAYOUTS = {"1-D": ((10_000,), (3_000,)), "channels x time": ((3, 5_000), (1, 2_048))}


def layout_values(dtype, layout):
    shape, chunks = LAYOUTS[layout]
    return signal_of(dtype, shape), chunks


def chunk_slices(shape, chunks):
    """The selection of every chunk, in storage order."""
    grid = np.ndindex(*(-(-s // c) for s, c in zip(shape, chunks)))
    return [tuple(slice(i * c, min((i + 1) * c, s)) for i, c, s in zip(index, chunks, shape))
            for index in grid]


def assert_chunks_are_containers(dataset, values):
    """Every chunk's stored bytes decode as one plain container to what h5py reads:
    the chunk's values, padding included, in the dataset's type."""
    read = dataset[...]
    for selection in chunk_slices(dataset.shape, dataset.chunks):
        offset = tuple(s.start for s in selection)
        mask, data = dataset.id.read_direct_chunk(offset)
        assert mask == 0
        decoded = chunk.decode(bytes(data), dataset.dtype)
        assert decoded.size == np.prod(dataset.chunks)
        part = decoded.reshape(dataset.chunks)[tuple(slice(0, s.stop - s.start) for s in selection)]
        np.testing.assert_array_equal(part, read[selection])


def run_python(code, env_extra=None, cwd=None):
    """Runs `code` in a fresh interpreter; HDF5_PLUGIN_PATH only as `env_extra` gives it."""
    env = {k: v for k, v in os.environ.items() if k != "HDF5_PLUGIN_PATH"}
    env.update(env_extra or {})
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                            text=True, env=env, cwd=cwd, timeout=300)
    assert result.returncode == 0, result.stderr
    return result.stdout
