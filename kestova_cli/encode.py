"""One 1-D signal to one Kestova container, at given settings or within an error bound."""

from __future__ import annotations

from functools import partial
from typing import Any

import numpy as np

import kestova
from kestova_codecs.error_bound import compress_within
from kestova_codecs.guards import check_scalable_range

from .errors import UserError


def encode_signal(name: str, samples: np.ndarray, settings: dict[str, Any]) -> bytes:
    if samples.dtype != np.float64:
        samples = samples.astype(np.float32)
    samples = np.ascontiguousarray(samples)
    if settings["max_error"] is None:
        options = kestova.KestovaCompressionOptions(
            settings["method"], settings["scale"], settings["cutoff"], settings["coder"])
        compress = partial(kestova.compress_signal, samples, options)
    else:
        compress = partial(compress_within, samples, settings["max_error"],
                           relative=settings["relative"], method=settings["method"],
                           coder=settings["coder"])
    try:
        check_scalable_range(samples)
        return compress()
    except ValueError as error:  # the codec's refusal: too many samples, an unreachable bound
        raise UserError(f"{name}: {error}") from None
