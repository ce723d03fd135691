"""No leaks of memory or references, and calls from several threads agree with serial calls."""

import os
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

from kestova import KestovaCompressionOptions as Options
from kestova import compress_signal, decompress_signal

from conftest import make_signal


def resident_bytes() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def exercise(x32, x64, options, stream):
    """One round of every path: both dtypes, success and each kind of failure."""
    decompress_signal(compress_signal(x32, options))
    compress_signal(x64)
    decompress_signal(stream)
    for call in (
        lambda: compress_signal(x32, 5),
        lambda: compress_signal(x32[::2]),
        lambda: compress_signal(x32[:0]),
        lambda: decompress_signal(stream[:40]),
        lambda: decompress_signal(b"XXXX" + stream[4:]),
        lambda: Options("bad\n", 99),
    ):
        with pytest.raises((TypeError, ValueError)):
            call()


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc")
def test_thousands_of_calls_keep_memory_and_reference_counts_flat():
    x32 = make_signal(8192)
    x64 = x32.astype(np.float64)
    options = Options("db4", 10, "medium", "deflate")
    stream = compress_signal(x32)
    watched = (x32, x64, options, stream)
    for _ in range(200):  # let allocator pools and caches settle
        exercise(*watched)
    counts = [sys.getrefcount(obj) for obj in watched]
    before = resident_bytes()
    for _ in range(3000):
        exercise(*watched)
    grown = resident_bytes() - before
    assert [sys.getrefcount(obj) for obj in watched] == counts
    # One leaked 32 KiB result per round would be ~100 MiB here.
    assert grown < 8 * 2**20, f"resident memory grew by {grown} bytes"


def test_threads_produce_the_same_bytes_as_serial_calls():
    signals = [make_signal(3000 + 97 * i, seed=i) for i in range(8)]
    settings = [Options(), Options("cdf53", 8, "high", "deflate"), Options("sym4", 12, "medium", "arans")]
    jobs = [(x, o) for x in signals for o in settings] * 4

    def run(job):
        x, options = job
        stream = compress_signal(x, options)
        return stream, decompress_signal(stream)

    serial = [run(job) for job in jobs]
    with ThreadPoolExecutor(max_workers=4) as pool:
        parallel = list(pool.map(run, jobs))
    for (s_stream, s_signal), (p_stream, p_signal) in zip(serial, parallel):
        assert s_stream == p_stream
        np.testing.assert_array_equal(s_signal, p_signal)


def test_refused_allocation_raises_memory_error_not_a_crash():
    code = """
import resource
import numpy as np
import kestova

x = np.ones(20_000_000)  # 160 MB of float64; narrowing needs another 80 MB
with open("/proc/self/status") as status:
    used = next(int(l.split()[1]) * 1024 for l in status if l.startswith("VmSize:"))
resource.setrlimit(resource.RLIMIT_AS, (used + 40 * 2**20, resource.RLIM_INFINITY))
try:
    kestova.compress_signal(x)
except MemoryError:
    print("MemoryError")
"""
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    assert out.stdout.strip() == "MemoryError"
