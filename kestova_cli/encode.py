"""One 1-D signal to one Kestova container, at given settings or within an error bound."""

from __future__ import annotations

from functools import partial
from typing import Any

import numpy as np

import kestova

from .errors import UserError


def encode_signal(samples: np.ndarray, settings: dict[str, Any]) -> bytes:
    if samples.dtype != np.float64:
        samples = samples.astype(np.float32)
    samples = np.ascontiguousarray(samples)
    if settings["max_error"] is None:
        options = kestova.KestovaCompressionOptions(
            settings["method"], settings["scale"], settings["cutoff"], settings["coder"])
        compress = partial(kestova.compress_signal, samples, options)
    else:
        try:
            from kestova_codecs.error_bound import compress_within
        except ImportError:
            raise UserError("--max-error needs the kestova_codecs package of the kestova wheel; "
                            "reinstall kestova") from None
        compress = partial(compress_within, samples, settings["max_error"],
                           relative=settings["relative"], method=settings["method"],
                           coder=settings["coder"])
    try:
        return compress()
    except ValueError as error:  # the codec's refusal: too many samples, an unreachable bound
        raise UserError(str(error)) from None
