#!/usr/bin/env python3
"""Kestova beyond one core: zarr's thread pool, then a Dask cluster of worker processes.

    pip install ".[dask]"
    python bench/scale_out.py                                   # 32 x 8M samples, 64M for zarr
    python bench/scale_out.py --channels 4 --samples 2M --zarr-samples 8M   # quick

1. zarr: a 1-D float32 array of --zarr-samples samples in --chunk-sample chunks written through
   KestovaCodec with zarr's thread pool at 1 and at 2 threads.
2. Dask: a recording of --channels x --samples float32 samples, generated on the workers, in
   (1, chunk) chunks, written with dask.array.to_zarr and read back with from_zarr, on a
   LocalCluster of 1 worker process, of 2 worker processes, and of 1 process with 2 threads.
   Every channel's max error is checked against that of one direct kestova call per chunk.
3. Chunking: the same recording in (channels, chunk / channels) chunks against (1, chunk).

Prints Msamples/s and the speedups against the one-thread, one-process runs of the same run.
"""

import argparse
import shutil
import tempfile
import time
from pathlib import Path

import numpy as np


def parse_count(text):
    """A sample count such as 1048576, 256K, 8M or 64M (K = 2**10, M = 2**20)."""
    scale = {"K": 2**10, "M": 2**20}.get(text[-1:].upper())
    return int(float(text[:-1]) * scale) if scale else int(text)


def recording_block(channel, start, length):
    """Samples start..start+length of one channel: tones that differ per channel, a drift and
    noise; deterministic, so any process can regenerate any block."""
    t = (start + np.arange(length)) / 48000.0
    rng = np.random.default_rng([channel, start])
    x = (1 + channel % 5) * np.sin(2 * np.pi * (50 + 7 * channel) * t)
    x += 0.3 * np.sin(2 * np.pi * 1234 * t) + 0.05 * np.sin(0.1 * t + channel)
    return (x + 0.02 * rng.standard_normal(length)).astype(np.float32)


def recording_chunk(shape, location):
    """The recording's values for the array region `location` ((start, stop) per axis)."""
    (c0, c1), (t0, t1) = location
    return np.stack([recording_block(c, t0, t1 - t0) for c in range(c0, c1)])


def generate(block_info=None):
    info = block_info[None]
    return recording_chunk(info["chunk-shape"], info["array-location"])


def chunk_errors(block, block_info=None):
    """Per channel of the block: the max error of the stored block, that of one direct kestova
    call on the same values (the chunk flattened, as the codec stores it), and the channel's
    range in the block; shape (channels, 3)."""
    import kestova

    original = recording_chunk(block.shape, block_info[0]["array-location"])
    direct = kestova.decompress_signal(kestova.compress_signal(original.ravel()))
    return np.stack([np.abs(block - original).max(axis=1),
                     np.abs(direct.reshape(block.shape) - original).max(axis=1),
                     np.ptp(original, axis=1)], axis=1)


def stored_bytes(path):
    return sum(f.stat().st_size for f in Path(path).rglob("*") if f.is_file())


def rate(samples, seconds):
    return samples / seconds / 1e6


def zarr_threads(args, workdir):
    import zarr
    from zarr.core.sync import cleanup_resources

    from kestova_codecs import KestovaCodec

    n = args.zarr_samples
    values = np.concatenate([recording_block(0, s, min(args.chunk, n - s))
                             for s in range(0, n, args.chunk)])
    print(f"\n1. zarr: {n / 2**20:.0f}M float32 samples in {args.chunk / 2**20:g}M chunks")
    rates = {}
    for threads in (1, 2):
        cleanup_resources()  # zarr makes its thread pool once, from the config of that moment
        with zarr.config.set({"threading.max_workers": threads}):
            array = zarr.create_array(workdir / f"threads{threads}.zarr", shape=(n,),
                                      dtype="float32", chunks=(args.chunk,),
                                      serializer=KestovaCodec(), compressors=None)
            start = time.perf_counter()
            array[:] = values
            rates[threads] = rate(n, time.perf_counter() - start)
        print(f"   {threads} thread(s): write {rates[threads]:7.1f} Msamples/s")
        shutil.rmtree(workdir / f"threads{threads}.zarr")
    cleanup_resources()
    print(f"   speedup 2 threads / 1 thread: {rates[2] / rates[1]:.2f}x")


def run_cluster(args, workdir, n_workers, threads, verify, chunk_shapes):
    """Writes and reads the recording on one LocalCluster; returns {chunks: (write, read, bytes,
    error)}: Msamples/s, stored bytes, and the worst channel's max error relative to its range
    (when verified)."""
    import dask.array as da
    from dask.distributed import Client, LocalCluster, wait

    from kestova_codecs import KestovaCodec

    shape = (args.channels, args.samples)
    results = {}
    with LocalCluster(n_workers=n_workers, threads_per_worker=threads, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        for chunks in chunk_shapes:
            path = workdir / f"recording-{chunks[0]}x{chunks[1]}.zarr"
            recording = da.map_blocks(generate, chunks=(
                tuple(chunks[0] for _ in range(shape[0] // chunks[0])),
                tuple(chunks[1] for _ in range(shape[1] // chunks[1]))), dtype=np.float32)
            recording = client.persist(recording)  # generated on the workers, not timed
            wait(recording)
            start = time.perf_counter()
            # A path, not an existing zarr.Array: given an array, to_zarr rechunks the blocks to
            # Dask's automatic size (128 MiB), leaving a few tasks for the whole recording.
            da.to_zarr(recording, str(path), mode="w-", chunks=chunks,
                       serializer=KestovaCodec(), compressors=None)
            write = rate(recording.size, time.perf_counter() - start)
            del recording
            stored = da.from_zarr(str(path))
            start = time.perf_counter()
            stored.max().compute()
            read = rate(stored.size, time.perf_counter() - start)
            worst = None
            if verify:
                errors = da.map_blocks(chunk_errors, stored, chunks=(chunks[0], 3),
                                       dtype=np.float64).compute()
                per_channel = errors.reshape(shape[0], -1, 3).max(axis=1)
                assert (per_channel[:, 0] == per_channel[:, 1]).all(), "store differs from direct"
                worst = float((per_channel[:, 0] / per_channel[:, 2]).max())
            results[chunks] = (write, read, stored_bytes(path), worst)
            shutil.rmtree(path)
    return results


def dask_cluster(args, workdir):
    row = (1, args.chunk)
    block = (args.channels, args.chunk // args.channels)
    total = args.channels * args.samples
    print(f"\n2. Dask: {args.channels} channels x {args.samples / 2**20:g}M samples "
          f"({total * 4 / 2**30:.2f} GiB float32), chunks {row}")
    setups = {"1 process, 1 thread": (1, 1), "2 processes, 1 thread each": (2, 1),
              "1 process, 2 threads": (1, 2)}
    results = {}
    for name, (workers, threads) in setups.items():
        verify = workers == 2
        shapes = (row, block) if verify else (row,)
        results[name] = run_cluster(args, workdir, workers, threads, verify, shapes)
        write, read, _, worst = results[name][row]
        checked = (f", every channel's max error = direct calls' (worst {worst:.2e} of its range)"
                   if verify else "")
        print(f"   {name:28s} write {write:7.1f}  read {read:7.1f} Msamples/s{checked}")
    base = results["1 process, 1 thread"][row]
    for name in ("2 processes, 1 thread each", "1 process, 2 threads"):
        write, read = results[name][row][:2]
        print(f"   speedup {name}: write {write / base[0]:.2f}x, read {read / base[1]:.2f}x")

    by_row, by_block = (results["2 processes, 1 thread each"][c] for c in (row, block))
    print(f"\n3. Chunking (2 processes): {block} chunks against {row}")
    print(f"   stored bytes {by_block[2] / by_row[2]:.2f}x, worst channel's relative max error "
          f"{by_block[3] / by_row[3]:.2f}x,"
          f" write speed {by_block[0] / by_row[0]:.2f}x  "
          f"(ratios {by_row[2] / (total * 4):.3f} and {by_block[2] / (total * 4):.3f} of raw)")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--channels", type=int, default=32)
    ap.add_argument("--samples", type=parse_count, default="8M", help="per channel (default 8M)")
    ap.add_argument("--chunk", type=parse_count, default="1M", help="samples per chunk (1M)")
    ap.add_argument("--zarr-samples", type=parse_count, default="64M",
                    help="length of the zarr thread-pool array (default 64M)")
    ap.add_argument("--dir", type=Path, default=None, help="where to write the stores")
    ap.add_argument("--parts", default="zarr,dask", help="comma-separated: zarr, dask")
    args = ap.parse_args()
    if args.samples % args.chunk or args.chunk % args.channels:
        ap.error("--samples must be a multiple of --chunk, and --chunk of --channels")

    workdir = Path(tempfile.mkdtemp(prefix="kestova-scale-out-", dir=args.dir))
    try:
        parts = args.parts.split(",")
        if "zarr" in parts:
            zarr_threads(args, workdir)
        if "dask" in parts:
            dask_cluster(args, workdir)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    main()
