#!/usr/bin/env python3
"""What the HDF5 filter costs on top of kestova_codecs, and h5py against zarr on a recording.

    pip install ".[zarr,hdf5]"
    python bench/hdf5_filter.py [--rounds 9] [--cpu-time] [--full]

1. Filter overhead, 1M-sample float32 chunks: writing and reading a one-chunk dataset through
   the filter with h5py (an in-memory file, so no disk time) against kestova_codecs' own chunk
   encode and decode of the same chunk (the zarr codec's code path), median of interleaved rounds;
   the filter's own overhead is what remains after taking off h5py's time for the same dataset
   without the filter (file, dataset, copies).
2. A recording of channels x 8M float32 samples in (1, 1M) chunks: h5py writing through the
   filter against zarr writing through KestovaCodec with one thread, on the same data, both to
   disk. The default is 4 channels, which the shared 2-core test machine runs in a few seconds;
   --full runs the 32 channels of the target (1 GiB of samples, about 30 s per writer).

Both sides use the same encoder (--encoder, default tuned, what new codecs use), so they write
the same bytes.
Prints times, Msamples/s, and each ratio against its baseline measured in the same run.
"""

import argparse
import shutil
import statistics
import tempfile
import time
from pathlib import Path

import h5py
import numpy as np
import zarr
from zarr.core.sync import cleanup_resources

from kestova_codecs import KestovaCodec, chunk
from kestova_codecs.hdf5 import KestovaFilter
from kestova_codecs.settings import Settings

CHUNK = 1 << 20
SAMPLES_PER_CHANNEL = 8 << 20


def recording(channels, n, seed=1):
    """Float32 channels of tones with drift and noise, amplitudes differing per channel."""
    rng = np.random.default_rng(seed)
    t = np.arange(n) / 48000.0
    rows = [(1 + c % 5) * (np.sin(2 * np.pi * (50 + 7 * c) * t) + 0.3 * np.sin(2 * np.pi * 1234 * t)
                           + 0.1 * t) + 0.02 * rng.standard_normal(n) for c in range(channels)]
    return np.stack(rows).astype(np.float32)


def median_times(calls, rounds, clock):
    """Median seconds of each call over interleaved rounds (one warm-up round first)."""
    times = {name: [] for name in calls}
    for round_number in range(rounds + 1):
        for name, call in calls.items():
            start = clock()
            call()
            if round_number:
                times[name].append(clock() - start)
    return {name: statistics.median(values) for name, values in times.items()}


def in_memory_file():
    """A file held in memory only, without a chunk cache."""
    return h5py.File(f"mem{time.perf_counter_ns()}.h5", "w", driver="core", backing_store=False,
                     rdcc_nbytes=0)


def filter_overhead(rounds, clock, encoder):
    x = recording(1, CHUNK)[0]
    settings = Settings(encoder=encoder)
    hdf5_filter = KestovaFilter(encoder=encoder)
    stored = in_memory_file()
    stored.create_dataset("x", data=x, chunks=(CHUNK,), compression=hdf5_filter)
    container = chunk.encode(x, settings)
    assert bytes(stored["x"].id.read_direct_chunk((0,))[1]) == container

    stored.create_dataset("raw", data=x, chunks=(CHUNK,))

    def h5py_write(compression):
        with in_memory_file() as file:
            file.create_dataset("x", data=x, chunks=(CHUNK,), compression=compression)

    def h5py_read(name):
        stored[name][...]  # no chunk cache: every read goes through the filter

    calls = {"kestova_codecs encode": lambda: chunk.encode(x, settings),
             "h5py write via filter": lambda: h5py_write(hdf5_filter),
             "h5py write, no filter": lambda: h5py_write(None),
             "kestova_codecs decode": lambda: chunk.decode(container, np.dtype("f4")),
             "h5py read via filter": lambda: h5py_read("x"),
             "h5py read, no filter": lambda: h5py_read("raw")}
    times = median_times(calls, rounds, clock)
    stored.close()
    print(f"1. one chunk of {CHUNK} float32 samples, median of {rounds} interleaved rounds")
    for name, seconds in times.items():
        print(f"   {name:26s} {seconds * 1e3:8.2f} ms  {CHUNK / seconds / 1e6:7.1f} Msamples/s")
    for kind, own in (("write", "kestova_codecs encode"), ("read", "kestova_codecs decode")):
        filtered, raw = times[f"h5py {kind} via filter"], times[f"h5py {kind}, no filter"]
        print(f"   h5py {kind} via filter over {own}: {(filtered / times[own] - 1) * 100:+.1f} %; "
              f"the filter alone (less h5py's own {kind} without it): "
              f"{((filtered - raw) / times[own] - 1) * 100:+.1f} %")


def recording_write(channels, workdir, clock, encoder):
    values = recording(channels, SAMPLES_PER_CHANNEL)
    n = values.size
    print(f"\n2. {channels} channels x {SAMPLES_PER_CHANNEL >> 20}M float32 samples in "
          f"(1, {CHUNK >> 20}M) chunks, written to disk")

    def h5py_write():
        with h5py.File(workdir / "rec.h5", "w") as file:
            file.create_dataset("signal", data=values, chunks=(1, CHUNK),
                                compression=KestovaFilter(encoder=encoder))

    def zarr_write():
        cleanup_resources()  # zarr makes its thread pool once, from the config of that moment
        with zarr.config.set({"threading.max_workers": 1}):
            array = zarr.create_array(workdir / "rec.zarr", shape=values.shape, dtype="float32",
                                      chunks=(1, CHUNK), serializer=KestovaCodec(encoder=encoder),
                                      compressors=None, overwrite=True)
            array[:] = values
        cleanup_resources()

    times = median_times({"zarr, 1 thread": zarr_write, "h5py": h5py_write}, 1, clock)
    for name, seconds in times.items():
        print(f"   {name:16s} {seconds:7.2f} s  {n / seconds / 1e6:7.1f} Msamples/s")
    print(f"   h5py time / zarr time: {times['h5py'] / times['zarr, 1 thread']:.3f}")
    with h5py.File(workdir / "rec.h5") as file:
        h5 = file["signal"][...]
    np.testing.assert_array_equal(h5, zarr.open_array(workdir / "rec.zarr")[...])
    print(f"   both decode to the same values; stored bytes h5py {(workdir / 'rec.h5').stat().st_size}, "
          f"zarr {sum(f.stat().st_size for f in (workdir / 'rec.zarr').rglob('*') if f.is_file())}")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--rounds", type=int, default=9, help="timed rounds of part 1 (default 9)")
    ap.add_argument("--cpu-time", action="store_true",
                    help="time by the process's CPU time instead of the wall clock")
    ap.add_argument("--full", action="store_true", help="32 channels in part 2 (default 4)")
    ap.add_argument("--channels", type=int, help="channels in part 2 (overrides --full)")
    ap.add_argument("--encoder", default="tuned", choices=("tuned", "reference"),
                    help="the encoder of both sides (default tuned)")
    args = ap.parse_args()
    clock = time.process_time if args.cpu_time else time.perf_counter
    print(f"encoder: {args.encoder}")
    filter_overhead(args.rounds, clock, args.encoder)
    channels = args.channels or (32 if args.full else 4)
    workdir = Path(tempfile.mkdtemp(prefix="kestova-hdf5-bench-"))
    try:
        recording_write(channels, workdir, clock, args.encoder)
    finally:
        shutil.rmtree(workdir)


if __name__ == "__main__":
    main()
