"""The symbols a decoder learns: class ids for CTC training and scoring.

Class 0 is the CTC blank; then the word space, the letters, the digits, the
classic punctuation, the extended punctuation (sent with extended=True) and
the prosigns in the form labels write them ("<AR>"). The ids are stable:
new symbols are only ever appended, so a model trained today keeps its
meaning.

    ids = vocab.encode("CQ DE W1AW <AR>")      # [14, 28, 1, ...]
    vocab.decode(ids)                          # 'CQ DE W1AW <AR>'
    vocab.greedy_decode(log_probs)             # [T, C] or [B, T, C] -> text
    vocab.cer("CQ TEST", "CQ TST")             # 1/7
"""

import numbers
import re

import numpy as np

BLANK = 0

_CLASSIC = " ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.,?/"
_EXTENDED = "=+-@'\"():;!&_$"
# The prosigns in common use; any other "<...>" the encoder sends has no class.
PROSIGNS = ("<AA>", "<AR>", "<AS>", "<BK>", "<BT>", "<CL>", "<CT>", "<DO>", "<HH>", "<KA>", "<KN>", "<NJ>",
            "<SK>", "<SN>", "<SOS>", "<VE>")

SYMBOLS = ("",) + tuple(_CLASSIC) + tuple(_EXTENDED) + PROSIGNS
SIZE = len(SYMBOLS)
SPACE = SYMBOLS.index(" ")

_IDS = {symbol: index for index, symbol in enumerate(SYMBOLS)}
_TOKEN = re.compile(r"<[^<>]*>|.", re.DOTALL)


def tokens(text):
    """The text's symbols: a prosign "<AR>" is one, each other character one,
    in upper case."""
    return [token.upper() for token in _TOKEN.findall(text)]


def id_of(symbol):
    """The class id of one symbol ("A", " ", "<AR>"); ValueError for a symbol
    without one."""
    try:
        return _IDS[symbol.upper()] if symbol else _missing(symbol)
    except KeyError:
        return _missing(symbol)


def _missing(symbol):
    raise ValueError(f"{symbol!r} has no class in vantel.vocab (it holds the characters Vantel sends and the "
                     f"prosigns {', '.join(PROSIGNS)})")


def encode(text):
    """The class ids of a text as labels and message_encoded write it (lower
    case is read as upper case)."""
    return [id_of(token) for token in tokens(text)]


def decode(ids):
    """The text of class ids; blanks are skipped."""
    return "".join(SYMBOLS[_class(i)] for i in ids)


def targets(labels):
    """The class ids of a clip's labels [(text, start, end), ...], word
    spaces included: the CTC target of the clip."""
    return [id_of(label[0]) for label in labels]


def ctc_collapse(ids):
    """CTC's reading of a frame-by-frame path: repeats merged, then blanks
    dropped."""
    out, previous = [], None
    for i in ids:
        i = _class(i)
        if i != previous and i != BLANK:
            out.append(i)
        previous = i
    return out


def greedy_decode(scores, lengths=None):
    """The best path of a model's per-frame class scores (log-probabilities
    or logits): [T, C] gives a text, [B, T, C] a list of texts, each cut to
    its frame length in `lengths` when given. Takes numpy arrays and torch
    tensors."""
    if hasattr(scores, "detach"):
        scores = scores.detach().cpu().numpy()
    scores = np.asarray(scores)
    if scores.ndim == 2:
        return decode(ctc_collapse(scores.argmax(axis=-1)))
    if scores.ndim != 3:
        raise ValueError(f"greedy_decode takes scores of shape [T, C] or [B, T, C], not {list(scores.shape)}")
    best = scores.argmax(axis=-1)
    if lengths is None:
        lengths = [best.shape[1]] * best.shape[0]
    return [decode(ctc_collapse(path[: int(n)])) for path, n in zip(best, lengths)]


def edit_distance(reference, hypothesis):
    """Levenshtein distance between two symbol sequences (texts are split
    into symbols; a prosign counts as one)."""
    a = tokens(reference) if isinstance(reference, str) else list(reference)
    b = tokens(hypothesis) if isinstance(hypothesis, str) else list(hypothesis)
    row = list(range(len(b) + 1))
    for i, x in enumerate(a, 1):
        diagonal, row[0] = row[0], i
        for j, y in enumerate(b, 1):
            diagonal, row[j] = row[j], min(row[j] + 1, row[j - 1] + 1, diagonal + (x != y))
    return row[-1]


def _normal(text):
    # Spacing carries no characters: runs of blanks are one word space, and
    # none at either end.
    return " ".join(text.split())


def cer(reference, hypothesis):
    """Character error rate: edits / reference symbols, after spacing is
    normalised. Lists of texts give the total edits over the total symbols."""
    if isinstance(reference, str) != isinstance(hypothesis, str):
        raise TypeError("cer takes two texts or two lists of texts")
    if isinstance(reference, str):
        reference, hypothesis = [reference], [hypothesis]
    if len(reference) != len(hypothesis):
        raise ValueError(f"cer got {len(reference)} references and {len(hypothesis)} hypotheses")
    edits = sum(edit_distance(_normal(r), _normal(h)) for r, h in zip(reference, hypothesis))
    symbols = sum(len(tokens(_normal(r))) for r in reference)
    if symbols == 0:
        return 0.0 if edits == 0 else float("inf")
    return edits / symbols


def frames(positions, hop):
    """Sample positions as frame indices for frames `hop` samples apart
    (frame k starts at sample k * hop): an int for an int, an array for
    anything array-like."""
    hop = _hop(hop)
    if isinstance(positions, numbers.Integral):
        return int(positions) // hop
    if hasattr(positions, "div"):  # a torch tensor stays one
        return positions.div(hop, rounding_mode="floor")
    return np.asarray(positions) // hop


def frame_count(samples, hop):
    """Frames of a centred short-time transform of `samples` samples with
    this hop (torch.stft's default, center=True): samples // hop + 1."""
    return frames(samples, hop) + 1


def _hop(hop):
    if isinstance(hop, bool) or not isinstance(hop, numbers.Integral) or hop < 1:
        raise ValueError(f"hop must be a whole number of samples, at least 1, not {hop!r}")
    return int(hop)


def _class(i):
    i = int(i)
    if not 0 <= i < SIZE:
        raise ValueError(f"{i} is no class id (0 to {SIZE - 1})")
    return i
