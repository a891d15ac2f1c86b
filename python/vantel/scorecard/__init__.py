"""The scorecard: how well a decoder, or a person, copies CW, S/N by S/N.

    card = vantel.score("awgn-v1", {"mine": my_decoder}, "out")  # (samples, rate) -> text
    card.thresholds   # the S/N in 2500 Hz where the CER crosses 5 % and 50 %

vantel-score runs the same from the command line, vantel-copy tests a
person.
"""

from .card import Scorecard, score
from .scoring import Score, compare
from .suites import BUILT_IN, Suite, SuiteError

__all__ = ["Scorecard", "Score", "Suite", "SuiteError", "BUILT_IN", "compare", "score"]
