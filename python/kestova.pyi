"""Type information for the kestova extension module."""

from typing import Optional, final

import numpy as np
import numpy.typing as npt

__all__ = ["KestovaCompressionOptions", "compress_signal", "decompress_signal"]

@final
class KestovaCompressionOptions:
    """Validated, immutable settings of one compression.

    method: "cdf97", "cdf53", "db4" or "sym4"; scale: 6..12; cutoff: "low", "medium" or
    "high"; coder: "auto" (or None), "deflate" or "arans".
    """

    def __new__(
        cls,
        method: str = "cdf97",
        scale: int = 11,
        cutoff: str = "low",
        coder: Optional[str] = None,
    ) -> "KestovaCompressionOptions": ...

def compress_signal(
    data: npt.NDArray[np.float32] | npt.NDArray[np.float64],
    options: Optional[KestovaCompressionOptions] = None,
) -> bytes:
    """Compress a 1-D float32 **or** float64 NumPy array into Kestova `bytes`."""

def decompress_signal(data: bytes) -> npt.NDArray[np.float32]:
    """Decompress a Kestova bytes object into a 1-D float32 NumPy array."""
