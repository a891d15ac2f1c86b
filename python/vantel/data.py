"""Training data made on the fly: an endless (or sized) stream of clips.

Clip k of a MorseStream depends only on the stream's settings, its seed and
k: its varying settings are drawn from a numpy Generator seeded with
(seed, k), and its noise seed is vantel-gen's sweep seed for file k
(gen::fileSeed). So any worker can make any clip, in any order, and the same
seed always gives the same data.
"""

import itertools
import numbers

import numpy as np

from . import _options, _vantel
from ._clip import make_clip

# Given to the stream itself, not among the options.
_STREAM_OWN = frozenset({"message", "messages", "seed"})


def _choices(keyword, value):
    """A list of values to draw from, a callable, or None for a fixed value."""
    if callable(value):
        return value
    if isinstance(value, (list, tuple)):
        if not value:
            raise ValueError(f"{keyword}= is an empty list")
        return list(value)
    if isinstance(value, str) and ("," in value or ":" in value):
        # vantel-gen's sweep syntax ("-20:10:2", "20,25", "0:6:2,10"), read by
        # vantel-gen's own reader.
        return _vantel.expand_values(_options.option_name(keyword), value)
    return None


def _draw(choice, rng):
    if callable(choice):
        return choice(rng)
    return choice[int(rng.integers(len(choice)))]


class MorseStream:
    """Clips of vantel-gen's options, some of them varying from clip to clip.

    options   keyword -> value as for vantel.generate(); a value may also be a
              list to draw from, a text in vantel-gen's sweep syntax
              ("-20:10:2", "20,25", "0:6:2,10"), or a callable given a
              numpy.random.Generator that returns the value
    messages  a text, a list of texts to draw from, or a callable given the
              Generator; None: vantel-gen's default message
    seed      the stream's seed (default: vantel-gen's start-up seed)
    length    clips in the stream; None for no end

    Drawn in a fixed order for each clip: the options in the order given,
    then the message.
    """

    def __init__(self, options=None, messages=None, seed=None, length=None):
        options = dict(options or {})
        _options.refuse(options, _STREAM_OWN, "is given to MorseStream itself (messages=, seed=)")
        _options.refuse(options, _options.NOT_FOR_A_CLIP, "has no meaning for a clip made in memory")
        if length is not None and (not isinstance(length, numbers.Integral) or length < 0):
            raise ValueError(f"length= must be a whole number of clips, not {length!r}")
        self.seed = _vantel.STARTUP_SEED if seed is None else int(seed)
        if not 0 <= self.seed < 2**64:
            raise ValueError(f"seed= must be from 0 to {2**64 - 1}")
        self.length = None if length is None else int(length)
        self._fixed = {}
        self._varying = []
        for keyword, value in options.items():
            choice = _choices(keyword, value)
            if choice is None:
                self._fixed[keyword] = value
            elif not callable(choice) and len(choice) == 1:
                self._fixed[keyword] = choice[0]
            else:
                self._varying.append((keyword, choice))
        if messages is None or isinstance(messages, (str, bytes)):
            self._messages = None
            if messages is not None:
                self._fixed["message"] = messages
        else:
            self._messages = messages if callable(messages) else list(messages)
            if not callable(messages) and not self._messages:
                raise ValueError("messages= is an empty list")
        # Options that cannot be used are refused now, not at the first clip.
        first = self.options_of(0)
        first.pop("quiet_warnings", None)
        _options.file_request(first)

    def options_of(self, index):
        """The generate() keywords of clip `index`."""
        rng = np.random.default_rng([self.seed, index])
        chosen = dict(self._fixed)
        for keyword, choice in self._varying:
            chosen[keyword] = _draw(choice, rng)
        if self._messages is not None:
            chosen["message"] = _draw(self._messages, rng)
        chosen["seed"] = _vantel.file_seed(self.seed, index)
        return chosen

    def clip(self, index):
        """Clip `index` (a vantel.Clip whose settings row is numbered `index`);
        a negative index counts from the end of a stream that has one."""
        return make_clip(self.options_of(self._position(index)), self._position(index), stacklevel=2)

    def _position(self, index):
        if isinstance(index, bool) or not isinstance(index, numbers.Integral):
            raise TypeError(f"clips are numbered by whole numbers, not {type(index).__name__}")
        index = int(index)
        if index < 0 and self.length is not None:
            index += self.length
        if index < 0 or index >= (self.length if self.length is not None else 2**64):
            size = f"a stream of {self.length}" if self.length is not None else "an endless stream (clips 0 to 2**64 - 1)"
            raise IndexError(f"no clip {index} in {size}")
        return index

    __getitem__ = clip

    def __len__(self):
        if self.length is None:
            raise TypeError("the stream has no end")
        return self.length

    def indices(self):
        return range(self.length) if self.length is not None else itertools.count()

    def __iter__(self):
        for index in self.indices():
            yield self.clip(index)
