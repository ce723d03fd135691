"""The golden containers of tests/fixtures/codec through the installed module: for each, the
digest (64-bit FNV-1a) of its decoded samples and whether its input compresses to the same bytes.

Run as a program it prints one line per container, so that two builds of the module can be
compared on this machine (scripts/test.sh compares the manylinux wheel with the g++ build):
    python tests/python/module/golden_fixtures.py > digests.txt
"""

from pathlib import Path

import numpy as np

import kestova

FIXTURES = Path(__file__).resolve().parents[2] / "fixtures" / "codec"


def fnv1a64(samples):
    digest = 14695981039346656037
    for byte in np.asarray(samples, "<f4").tobytes():
        digest = ((digest ^ byte) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return digest


def manifest():
    """(container, input, options, recorded digest) per manifest line."""
    for line in (FIXTURES / "MANIFEST").read_text().splitlines():
        if line.startswith("#") or not line.strip():
            continue
        container, source, method, coder, scale, cutoff, _path, digest = line.split()
        options = kestova.KestovaCompressionOptions(method=method, scale=int(scale),
                                                    cutoff=cutoff, coder=coder)
        yield container, source, options, int(digest, 16)


def results():
    """(container, decoded digest, recorded digest, stream equal to the stored one) each."""
    for container, source, options, recorded in manifest():
        stored = (FIXTURES / container).read_bytes()
        decoded = kestova.decompress_signal(stored)
        samples = np.fromfile(FIXTURES / source, "<f4")
        same = kestova.compress_signal(samples, options) == stored
        yield container, fnv1a64(decoded), recorded, same


if __name__ == "__main__":
    for container, digest, _, same in results():
        print(f"{container} {digest:016x} {'same-stream' if same else 'other-stream'}")
