"""One 1-D signal to one Kestova container, at given settings or within an error bound, with
the codecs' own encoding path (so both encoders and the bounded search behave as in stores)."""

from __future__ import annotations

from typing import Any

import numpy as np

from kestova_codecs import chunk
from kestova_codecs.settings import Settings

from .errors import UserError


def encode_signal(name: str, samples: np.ndarray, settings: dict[str, Any]) -> bytes:
    """`settings` are the codecs' (method, scale, cutoff, coder, max_error, relative, encoder)."""
    try:  # in their own type, so a bound holds for them as they decode (integers rounded)
        return chunk.encode(samples, Settings(**settings))
    except ValueError as error:  # the codec's refusal: too many samples, an unreachable bound
        raise UserError(f"{name}: {error}") from None
