"""Training data made on the fly: an endless (or sized) stream of clips.

Clip k of a MorseStream depends only on the stream's settings, its seed,
the epoch and k, so any worker can make any clip, in any order, and the same
seed always gives the same data:

- epoch 0: the clip's varying settings are drawn from a numpy Generator
  seeded with (seed, k), and its noise seed is vantel-gen's sweep seed for
  file k (gen::fileSeed, `_vantel.file_seed(seed, k)`): clip k is file k of
  `vantel-gen --sweep --seed SEED` with the same settings;
- epoch e > 0: the Generator is seeded with (seed, k, e), and the noise seed
  is `_vantel.file_seed(epoch_seed(seed, e), k)`, where epoch_seed(seed, e)
  is the first 64-bit word of numpy's SeedSequence([seed, e]).

Each clip's settings row holds its noise seed, so `vantel.generate()` (or
vantel-gen with --seed) remakes it from the row alone.
"""

import functools
import itertools
import math
import numbers
import re

import numpy as np

from . import _options, _vantel
from ._clip import make_clip

# Given to the stream itself, not among the options.
_STREAM_OWN = frozenset({"message", "messages", "seed"})

# vantel-gen's defaults for what decides a clip's length.
_DEFAULT_MESSAGE = "TESTING"
_DEFAULTS = {"wpm": 20.0, "rate": 12000.0, "tone_length": 5.0, "farnsworth": 0.0, "word_space": 1.0,
             "dash_ratio": 3.0, "weight": 50.0, "jitter": 0.0, "speed_drift": 0.0, "lead_in": 0.0, "tail": 0.0,
             "duration": 0.0, "crop_from": 0.0}
# Options that make the engine time the message mark by mark instead of in
# whole elements (whose length is rounded once).
_TIMING = ("farnsworth", "word_space", "dash_ratio", "weight", "jitter", "speed_drift")
_FRAMING = ("lead_in", "tail", "duration", "crop_from")

_CODES = {
    "A": ".-", "B": "-...", "C": "-.-.", "D": "-..", "E": ".", "F": "..-.", "G": "--.", "H": "....", "I": "..",
    "J": ".---", "K": "-.-", "L": ".-..", "M": "--", "N": "-.", "O": "---", "P": ".--.", "Q": "--.-", "R": ".-.",
    "S": "...", "T": "-", "U": "..-", "V": "...-", "W": ".--", "X": "-..-", "Y": "-.--", "Z": "--..",
    "0": "-----", "1": ".----", "2": "..---", "3": "...--", "4": "....-", "5": ".....", "6": "-....",
    "7": "--...", "8": "---..", "9": "----.", ".": ".-.-.-", ",": "--..--", "?": "..--..", "/": "-..-.",
}
_EXTENDED_CODES = {
    **_CODES, "=": "-...-", "+": ".-.-.", "-": "-....-", "@": ".--.-.", "'": ".----.", '"': ".-..-.",
    "(": "-.--.", ")": "-.--.-", ":": "---...", ";": "-.-.-.", "!": "-.-.--", "&": ".-...", "_": "..--.-",
    "$": "...-..-",
}
_NUMBER = re.compile(r"\s*([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)")


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


@functools.lru_cache(maxsize=16)
def epoch_seed(seed, epoch):
    """The seed whose sweep seeds give the noise of epoch `epoch` (> 0)."""
    return int(np.random.SeedSequence([seed, epoch]).generate_state(1, np.uint64)[0])


def _whole(name, value, high=2**64):
    if isinstance(value, bool) or not isinstance(value, numbers.Integral) or not 0 <= value < high:
        raise ValueError(f"{name} must be a whole number from 0 to {high - 1}, not {value!r}")
    return int(value)


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
    epoch     the epoch whose clips the stream makes (set_epoch() changes it)

    Drawn in a fixed order for each clip: the options in the order given,
    then the message, then crop_from when it is drawn (below).

    Clips for training take lead_in=, tail=, duration= and crop_from= (in
    seconds, crop_from a share 0 to 1 of the message) like any option. With
    duration= and no crop_from=, each clip starts at a character of its
    message chosen uniformly (crop_from is drawn so: fixed-length windows from
    anywhere in the text, each holding at least its first character when the
    duration leaves room for it). Random leading silence, for example:

        MorseStream({"duration": 4, "lead_in": lambda rng: rng.uniform(0, 1), "rate": 8000}, ...)
    """

    def __init__(self, options=None, messages=None, seed=None, length=None, epoch=0):
        options = dict(options or {})
        _options.refuse(options, _STREAM_OWN, "is given to MorseStream itself (messages=, seed=)")
        _options.refuse(options, _options.NOT_FOR_A_CLIP, "has no meaning for a clip made in memory")
        if length is not None and (not isinstance(length, numbers.Integral) or length < 0):
            raise ValueError(f"length= must be a whole number of clips, not {length!r}")
        self.seed = _vantel.STARTUP_SEED if seed is None else int(seed)
        if not 0 <= self.seed < 2**64:
            raise ValueError(f"seed= must be from 0 to {2**64 - 1}")
        self.length = None if length is None else int(length)
        self.set_epoch(epoch)
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
        self._draws_crop = "duration" in options and "crop_from" not in options
        # Options that cannot be used are refused now, not at the first clip.
        first = self.options_of(0)
        first.pop("quiet_warnings", None)
        _options.file_request(first)

    def set_epoch(self, epoch):
        """Makes the clips of epoch `epoch` (0 is the first: the clips of
        streams made before there were epochs). Each epoch's clips are new
        draws of the same settings with new noise."""
        self.epoch = _whole("epoch", epoch)

    def options_of(self, index, epoch=None):
        """The generate() keywords of clip `index` of `epoch` (default: the
        stream's epoch)."""
        epoch = self.epoch if epoch is None else _whole("epoch", epoch)
        chosen = self._drawn(index, epoch)
        chosen["seed"] = _vantel.file_seed(self.seed if epoch == 0 else epoch_seed(self.seed, epoch), index)
        return chosen

    def _drawn(self, index, epoch):
        """Clip `index`'s options but its noise seed."""
        rng = np.random.default_rng([self.seed, index] if epoch == 0 else [self.seed, index, epoch])
        chosen = dict(self._fixed)
        for keyword, choice in self._varying:
            chosen[keyword] = _draw(choice, rng)
        if self._messages is not None:
            chosen["message"] = _draw(self._messages, rng)
        if self._draws_crop and _number(chosen, "duration") > 0:
            chosen["crop_from"] = _crop_at_a_character(chosen, rng)
        return chosen

    def clip(self, index, epoch=None):
        """Clip `index` of `epoch` (default: the stream's epoch), a vantel.Clip
        whose settings row is numbered `index`; a negative index counts from
        the end of a stream that has one."""
        index = self._position(index)
        return make_clip(self.options_of(index, epoch), index, stacklevel=2)

    def length_of(self, index, epoch=None):
        """The samples clip `index` will have, without making it: exact
        unless jitter= or speed_drift= vary the timing (then the length at the
        speed set, typically within a few per cent)."""
        epoch = self.epoch if epoch is None else _whole("epoch", epoch)
        return clip_length(self._drawn(self._position(index), epoch))

    def _position(self, index):
        if isinstance(index, bool) or not isinstance(index, numbers.Integral):
            raise TypeError(f"clips are numbered by whole numbers, not {type(index).__name__}")
        index = int(index)
        if index < 0 and self.length is not None:
            index += self.length
        if index < 0 or index >= (self.length if self.length is not None else 2**64):
            size = (f"a stream of {self.length}" if self.length is not None
                    else "an endless stream (clips 0 to 2**64 - 1)")
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


def _text(options, keyword, default):
    value = options.get(keyword)
    if value is None or value is False:
        return default
    # The engine reads bytes: what is not ASCII has no Morse code either way.
    return _options.value_text(keyword, value).decode("latin-1")


def _number(options, keyword):
    """An option's number as the engine reads it ("48k" as 48), or its
    default."""
    value = options.get(keyword)
    if value is None or isinstance(value, bool):
        return _DEFAULTS[keyword]
    if isinstance(value, numbers.Real):
        return float(value)
    found = _NUMBER.match(_text(options, keyword, ""))
    return float(found.group(1)) if found else _DEFAULTS[keyword]


def _upper(character):
    return character.upper() if "a" <= character <= "z" else character


def message_symbols(message, extended=False):
    """The symbols the engine sends for a message: (text, code) in order, a
    word space as (" ", "")."""
    codes = _EXTENDED_CODES if extended else _CODES
    symbols = []
    at = 0
    while at < len(message):
        if extended and message[at] == "<":
            close = message.find(">", at)
            if close < 0:
                break  # the engine refuses the message
            letters = "".join(_upper(c) for c in message[at + 1:close])
            symbols.append((f"<{letters}>", "".join(_CODES.get(c, "") for c in letters)))
            at = close + 1
            continue
        character = _upper(message[at])
        if character == " ":
            symbols.append((" ", ""))
        elif character in codes:
            symbols.append((character, codes[character]))
        at += 1
    return symbols


def _crop_at_a_character(options, rng):
    """A crop_from that starts the clip at a character of its message chosen
    uniformly: the middle of that symbol's share, so that the engine's
    floor(crop_from * symbols) lands on it."""
    symbols = message_symbols(_text(options, "message", _DEFAULT_MESSAGE), bool(options.get("extended")))
    characters = [at for at, (text, _) in enumerate(symbols) if text != " "]
    if not characters:
        return 0.0
    return (characters[int(rng.integers(len(characters)))] + 0.5) / len(symbols)


def _samples(seconds, rate):
    return int(round(seconds * rate))  # the engine rounds halves to even, as round() does


def clip_length(options):
    """The samples vantel.generate(**options) gives, worked out from the
    message's Morse code and the timing options (exact without jitter= and
    speed_drift=)."""
    rate = _number(options, "rate")
    mode = _text(options, "mode", "onoff").strip().lower()
    if mode == "tone":
        return int(round(_number(options, "tone_length") * 10)) * _samples(0.1, rate)
    extended = bool(options.get("extended"))
    symbols = message_symbols(_text(options, "message", _DEFAULT_MESSAGE), extended)
    wpm = _number(options, "wpm")
    dot = rate * 1.2 / wpm
    starts, total = _symbol_starts(symbols, options, wpm)
    timed = extended or any(_number(options, k) != _DEFAULTS[k] for k in _TIMING + _FRAMING)
    if not timed:
        return int(total) * int(round(dot))
    message_samples = int(round(total * dot))
    lead_in = _samples(_number(options, "lead_in"), rate)
    duration = _samples(_number(options, "duration"), rate)
    if duration > 0:
        return duration
    first = min(max(math.floor(_number(options, "crop_from") * len(symbols)), 0), len(symbols))
    while first < len(symbols) and symbols[first][0] == " ":
        first += 1
    kept = message_samples - int(round(starts[first] * dot)) if first < len(symbols) else 0
    return lead_in + kept + _samples(_number(options, "tail"), rate)


def _symbol_starts(symbols, options, wpm):
    """Where each symbol starts, in dots at the character speed, and the
    message's end."""
    character, word = 3.0, 5.0
    farnsworth = _number(options, "farnsworth")
    if farnsworth > 0:
        ta = 50 * wpm / farnsworth - 31
        character, word = 3 * ta / 19, 7 * ta / 19
    blank = _number(options, "word_space") * word - character
    dash = _number(options, "dash_ratio")
    starts, at = [], 0.0
    for _, code in symbols:
        starts.append(at)
        if code:
            at += sum(1 if mark == "." else dash for mark in code) + len(code) - 1 + character
        else:
            at += blank
    return starts, at
