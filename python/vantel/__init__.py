"""Vantel: calibrated Morse (CW) test recordings in white Gaussian noise.

generate(*, message=, snr=, ...)  one clip in memory (vantel.Clip)
sweep(out_dir, client=None, *,    vantel-gen --sweep, here or on a Dask cluster
      snr=[...], messages=[...], ...)
data.MorseStream                  clips made on the fly for training
torch.MorseDataset                the same as a torch Dataset, with collate() for
                                  CTC batches (imports torch)
vocab                             class ids of every symbol, CTC targets, greedy
                                  decoding, character error rate
score(suite, {name: decoder}, out) a decoder's character error rate against
                                  S/N on a suite of files (vantel-score)

Keywords are vantel-gen's options, without the dashes and with `-` as `_`;
help(vantel.generate) lists them.
"""

from . import _vantel
from ._clip import Clip, VantelWarning, generate
from ._sweep import SweepInterrupted, SweepResult, sweep
from . import data, vocab
from .scorecard import Scorecard, score

__version__ = _vantel.VERSION
__all__ = ["Clip", "VantelWarning", "generate", "sweep", "SweepResult", "SweepInterrupted", "data", "vocab", "score", "Scorecard"]
