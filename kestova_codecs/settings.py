"""What both codecs are configured with: Kestova's four compression options, checked by the
kestova module's own options class, and the optional error bound."""

from __future__ import annotations

import dataclasses
import operator
from dataclasses import dataclass
from typing import Optional

from kestova import KestovaCompressionOptions

from kestova_codecs.error_bound import check_max_error


@dataclass(frozen=True)
class Settings:
    method: str = "cdf97"
    scale: int = 11
    cutoff: str = "low"
    coder: Optional[str] = None
    max_error: Optional[float] = None
    relative: bool = True

    def __post_init__(self):
        # Same conversions, checks, order and messages as kestova.compress_signal's options.
        KestovaCompressionOptions(method=self.method, scale=self.scale, cutoff=self.cutoff,
                                  coder=self.coder)
        object.__setattr__(self, "scale", operator.index(self.scale))  # plain int for JSON
        if not isinstance(self.relative, bool):
            raise TypeError(f"relative must be True or False, not {self.relative!r}")
        if self.max_error is None:
            return
        object.__setattr__(self, "max_error", check_max_error(self.max_error))
        if (self.scale, self.cutoff) != (Settings.scale, Settings.cutoff):
            raise ValueError("max_error picks scale and cutoff for each chunk; "
                             "leave scale and cutoff at their defaults when giving max_error")

    def config(self) -> dict:
        """Every setting by name, as plain JSON values."""
        return dataclasses.asdict(self)
