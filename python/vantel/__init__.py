"""Vantel: calibrated Morse (CW) test recordings in white Gaussian noise.

generate(**options)            one clip in memory (vantel.Clip)

Options are vantel-gen's, without the dashes and with `-` as `_`.
"""

from . import _vantel
from ._clip import Clip, VantelWarning, generate

__version__ = _vantel.VERSION
__all__ = ["Clip", "VantelWarning", "generate"]
