"""The golden containers through the installed module, where this processor runs the path that
made them (the portable one): every container decodes to its recorded digest and every input
compresses to the stored bytes. x86 processors run their SSE/AVX paths here; the C++ suite checks
the portable path there, and scripts/test.sh compares the wheel with the g++ build."""

import platform

import pytest

from golden_fixtures import results

PORTABLE_PATH = platform.machine().lower() not in {"x86_64", "amd64", "i386", "i686"}


def test_the_manifest_lists_every_method_and_coder():
    names = [container for container, *_ in results()]
    assert len(names) >= 100
    for part in ("cdf53", "cdf97", "db4", "sym4", "deflate", "arans"):
        assert any(f"-{part}-" in name for name in names), part


@pytest.mark.skipif(not PORTABLE_PATH, reason="this processor decodes on its vector paths")
def test_containers_decode_to_their_digests_and_inputs_to_their_bytes():
    wrong = [(c, hex(d), hex(r), same) for c, d, r, same in results() if d != r or not same]
    assert wrong == []
