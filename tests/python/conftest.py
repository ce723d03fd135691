"""Shared signals for the kestova tests."""

import numpy as np
import pytest


def make_signal(n: int = 4096, seed: int = 7) -> np.ndarray:
    """A multi-tone signal with noise, as float32."""
    rng = np.random.default_rng(seed)
    t = np.arange(n) / 1000.0
    x = 2.0 * np.sin(2 * np.pi * 5 * t) + 0.5 * np.sin(2 * np.pi * 60 * t)
    return (x + 0.05 * rng.standard_normal(n)).astype(np.float32)


@pytest.fixture
def signal() -> np.ndarray:
    return make_signal()
