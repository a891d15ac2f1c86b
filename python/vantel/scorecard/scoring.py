"""How a copy is scored, the same way for every decoder and every person.

Texts are compared as Morse symbols, not spellings: each character or
prosign counts as its code, so "+" and "<AR>", "=" and "<BT>", "Ä" and
"<AA>" are one symbol, and a decoder's dot-dash notation of a code it has no
letter for ("<_._._>", "<-.-.->") is that code. Anything else in angle
brackets ("<ERR_7>") or a character without a Morse code is one wrong
symbol. Case and spacing carry nothing.

The character error rate counts the characters, not the spaces between
words: decoders disagree about word gaps far more than about characters,
and the word error rate scores the gaps (a word run into the next is two
errors there).
"""

import math
import re
from dataclasses import dataclass

from ..data import _EXTENDED_CODES

# Letters with ITU or widespread national codes that decoders print.
_NATIONAL = {"Ä": ".-.-", "Á": ".--.-", "Å": ".--.-", "À": ".--.-", "É": "..-..", "È": ".-..-", "Ñ": "--.--",
             "Ö": "---.", "Ø": "---.", "Ü": "..--", "Ç": "-.-..", "Ĉ": "-.-..", "Ŝ": "...-."}
_CODES = {**_EXTENDED_CODES, **_NATIONAL}
_TOKEN = re.compile(r"<[^<>\s]*>|\S")
_DOT_DASH = re.compile(r"<([._-]+)>")
# A symbol that equals no reference symbol: every unreadable token is wrong.
UNKNOWN = "#"


def _code(token):
    if len(token) == 1:
        return _CODES.get(token, UNKNOWN)
    written = _DOT_DASH.fullmatch(token)
    if written:
        return written.group(1).replace("_", "-")
    letters = token[1:-1]
    if letters and all(letter in _CODES and letter.isalnum() for letter in letters):
        return "".join(_CODES[letter] for letter in letters)  # a prosign: its letters run together
    return UNKNOWN


def words(text):
    """The text as a list of words, each a tuple of Morse codes."""
    return [tuple(_code(token) for token in _TOKEN.findall(word)) for word in text.upper().split()]


def symbols(text):
    """The text's Morse codes in order, word spaces left out."""
    return [code for word in words(text) for code in word]


def edit_counts(reference, hypothesis):
    """(substitutions, insertions, deletions) of a least-cost Levenshtein
    alignment of two sequences; among alignments of equal cost, the one
    with the fewest substitutions."""
    previous = [(j, 0, j, 0) for j in range(len(hypothesis) + 1)]  # (cost, subs, ins, dels)
    for i, expected in enumerate(reference, 1):
        current = [(i, 0, 0, i)]
        for j, got in enumerate(hypothesis, 1):
            diagonal = previous[j - 1]
            if expected == got:
                best = diagonal
            else:
                best = (diagonal[0] + 1, diagonal[1] + 1, diagonal[2], diagonal[3])
            up, left = previous[j], current[j - 1]
            if up[0] + 1 < best[0] or (up[0] + 1 == best[0] and up[1] < best[1]):
                best = (up[0] + 1, up[1], up[2], up[3] + 1)
            if left[0] + 1 < best[0] or (left[0] + 1 == best[0] and left[1] < best[1]):
                best = (left[0] + 1, left[1], left[2] + 1, left[3])
            current.append(best)
        previous = current
    _, substitutions, insertions, deletions = previous[-1]
    return substitutions, insertions, deletions


@dataclass(frozen=True)
class Score:
    """One copy against the text sent, or a sum of such."""

    chars: int = 0
    substitutions: int = 0
    insertions: int = 0
    deletions: int = 0
    words: int = 0
    word_errors: int = 0

    @property
    def errors(self):
        return self.substitutions + self.insertions + self.deletions

    @property
    def cer(self):
        """Character errors per character sent (above 1 when a decoder adds
        more than it was sent); NaN for nothing sent."""
        return self.errors / self.chars if self.chars else math.nan

    @property
    def wer(self):
        return self.word_errors / self.words if self.words else math.nan

    def __add__(self, other):
        return Score(*(a + b for a, b in zip(self.counts(), other.counts())))

    def counts(self):
        return (self.chars, self.substitutions, self.insertions, self.deletions, self.words, self.word_errors)


def compare(reference, hypothesis):
    """The Score of `hypothesis` (what was copied) against `reference` (what
    was sent)."""
    sent, copied = words(reference), words(hypothesis)
    flat_sent = [code for word in sent for code in word]
    flat_copied = [code for word in copied for code in word]
    substitutions, insertions, deletions = edit_counts(flat_sent, flat_copied)
    word_errors = sum(edit_counts(sent, copied))
    return Score(len(flat_sent), substitutions, insertions, deletions, len(sent), word_errors)


def wilson(errors, trials, z=1.959964):
    """The 95 % Wilson score interval of errors/trials, each character one
    trial (errors above trials count as trials). (NaN, NaN) for no trials."""
    if trials <= 0:
        return math.nan, math.nan
    p = min(errors, trials) / trials
    scale = 1 + z * z / trials
    centre = (p + z * z / (2 * trials)) / scale
    half = z * math.sqrt(p * (1 - p) / trials + z * z / (4 * trials * trials)) / scale
    return max(0.0, centre - half), min(1.0, centre + half)
