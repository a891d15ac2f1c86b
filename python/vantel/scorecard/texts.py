"""Messages for scoring suites: the same text for the same seed, forever.

make_text(kind, seed, characters=60) gives one message of about `characters`
non-space characters (never a cut word), in upper case, using only A-Z, 0-9
and / ? . , (what every CW decoder knows). The kinds:

- "groups": five-letter code groups, letters drawn uniformly;
- "calls":  call signs in the formats of real prefixes, weighted roughly as
            heard on the HF bands, with portable (/P, DL/G4ABC) and
            special-event (GB2RS, OH20XYZ) forms now and then;
- "plain":  QSO and rag-chew text with Q-codes, abbreviations and numbers
            (RST, power, temperatures, years, frequencies).

The texts are frozen. Every draw goes through random.Random(seed).random(),
whose sequence is the same on every machine and Python version, and the
word lists below are part of the text: changing a draw, a weight or a list
changes every suite built on these texts, so such a change needs a new
suite version.
"""

import numbers
import random
import re

KINDS = ("groups", "calls", "plain")

_LETTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
_DIGITS = "0123456789"


def _below(rng, n):
    """A whole number in [0, n), uniform."""
    return min(int(rng.random() * n), n - 1)


def _pick(rng, seq):
    """One item of a sequence, uniform."""
    return seq[_below(rng, len(seq))]


def _weighted(rng, pairs):
    """One item of (item, weight) pairs, in proportion to the weights."""
    left = rng.random() * sum(weight for _, weight in pairs)
    for item, weight in pairs:
        left -= weight
        if left < 0:
            return item
    return pairs[-1][0]


def _shuffled(rng, seq):
    """The items in random order (Fisher-Yates)."""
    items = list(seq)
    for last in range(len(items) - 1, 0, -1):
        other = _below(rng, last + 1)
        items[last], items[other] = items[other], items[last]
    return items


# ----- calls -----

# "#" is the call area digit; "[A-L]" or "[GY]" is one character of a range
# or list; a prefix without "#" carries its own digit (HB9, 9M2).
_PREFIXES = (
    ("K#", 8), ("W#", 8), ("N#", 4), ("A[A-L]#", 2), ("K[A-Z]#", 3), ("N[A-Z]#", 1), ("W[A-Z]#", 2),
    ("VE#", 2), ("VA#", 1),
    ("DL#", 5), ("DJ#", 2), ("DK#", 2), ("G[0-8]", 3), ("M[0-7]", 2), ("2E[01]", 1), ("F#", 3), ("I#", 1),
    ("IK#", 2), ("IZ#", 2), ("EA#", 3), ("PA#", 2), ("ON#", 2), ("OH#", 2), ("SM#", 2), ("LA#", 1),
    ("OZ#", 1), ("OK#", 2), ("OM#", 1), ("SP#", 2), ("HA#", 1), ("YO#", 1), ("LZ#", 1), ("YU#", 1),
    ("9A#", 1), ("S5#", 1), ("OE#", 1), ("HB9", 1), ("EI#", 1), ("UA#", 3), ("R[A-Z]#", 1), ("U[R-Z]#", 2),
    ("J[A-S]#", 5), ("7[K-N]#", 1), ("VK#", 2), ("ZL#", 1), ("ZS#", 1), ("PY#", 2), ("LU#", 1), ("CE#", 1),
    ("XE#", 1), ("4X#", 1), ("9M2", 1), ("B[GY]#", 2), ("HL#", 1), ("DS#", 1), ("VU[23]", 1),
)
_SUFFIX_LENGTHS = ((1, 1), (2, 4), (3, 5))
_FORMS = (("regular", 90), ("portable", 8), ("special", 2))
_PORTABLE = (("/P", 12), ("/M", 6), ("/QRP", 3), ("/MM", 1), ("digit", 5), ("front", 6))
_FRONT_PREFIXES = ("DL", "F", "G", "EA", "I", "PA", "ON", "OE", "HB9", "OZ", "SM", "LA", "SV", "CT", "EI", "OH")
_EVENT_PREFIXES = ("GB", "TM", "II", "DR", "DQ", "OH", "SN", "HF", "OL", "OP", "EG", "LY")
_PATTERN_PART = re.compile(r"\[[^\]]*\]|.")


def _expand(part):
    """The characters one pattern part stands for: "#", "[A-L]", "[GY]", "K"."""
    if part == "#":
        return _DIGITS
    if not part.startswith("["):
        return part
    inner = part[1:-1]
    if len(inner) == 3 and inner[1] == "-":
        return "".join(chr(code) for code in range(ord(inner[0]), ord(inner[2]) + 1))
    return inner


def _letters(rng, count):
    return "".join(_pick(rng, _LETTERS) for _ in range(count))


def _regular_call(rng):
    pattern = _weighted(rng, _PREFIXES)
    prefix = "".join(_pick(rng, _expand(part)) for part in _PATTERN_PART.findall(pattern))
    return prefix + _letters(rng, _weighted(rng, _SUFFIX_LENGTHS))


def _portable_call(rng):
    call = _regular_call(rng)
    form = _weighted(rng, _PORTABLE)
    if form == "digit":
        return f"{call}/{1 + _below(rng, 9)}"
    if form == "front":
        front = _pick(rng, _FRONT_PREFIXES)
        # Nobody signs portable in their own country this way (DL/DL1ABC).
        return call + "/P" if call.startswith(front) else f"{front}/{call}"
    return call + form


def _special_call(rng):
    prefix = _pick(rng, _EVENT_PREFIXES)
    if rng.random() < 0.5:  # GB2RS, TM5FRA: one digit, a long suffix
        return f"{prefix}{_pick(rng, _DIGITS)}{_letters(rng, 2 + _below(rng, 3))}"
    return f"{prefix}{10 + _below(rng, 90)}{_letters(rng, 1 + _below(rng, 3))}"  # OH20XYZ, DR75AB


def _call(rng):
    form = _weighted(rng, _FORMS)
    return {"regular": _regular_call, "portable": _portable_call, "special": _special_call}[form](rng)


def _calls(rng, characters):
    calls, total = [], 0
    while True:
        call = _call(rng)
        # Stop where the count lands nearest: before this call or after it.
        if calls and total + len(call) - characters > characters - total:
            return " ".join(calls)
        calls.append(call)
        total += len(call)


# ----- plain language -----

_NAMES = ("JOHN", "BOB", "BILL", "JIM", "TOM", "MIKE", "DAVE", "PETE", "ED", "AL", "RON", "KEN", "PAUL", "SUE",
          "ANN", "HANS", "KLAUS", "JEAN", "LUIGI", "MARCO", "JOSE", "PACO", "IVAN", "JAN", "PIET", "OLE", "LARS",
          "KENJI", "TARO", "GEORGE", "MARIA", "TONY")
_CITIES = ("BOSTON", "DENVER", "DALLAS", "SEATTLE", "CHICAGO", "TORONTO", "MUNICH", "BERLIN", "HAMBURG", "PARIS",
           "LYON", "ROME", "MILAN", "MADRID", "LONDON", "LEEDS", "DUBLIN", "OSLO", "HELSINKI", "PRAGUE", "WARSAW",
           "VIENNA", "ZURICH", "TOKYO", "OSAKA", "SYDNEY", "PERTH", "AUCKLAND", "KIEV", "BUDAPEST")
_RIGS = ("IC7300", "IC7610", "IC718", "IC705", "FT991A", "FTDX10", "FT710", "FT817", "FT891", "TS590", "TS480",
         "K3", "K4", "KX3", "QCX", "HOMEBREW")
_ANTENNAS = ("DIPOLE", "VERTICAL", "3 EL YAGI", "2 EL QUAD", "G5RV", "EFHW", "LOOP", "LONGWIRE", "WINDOM",
             "HEXBEAM", "INV V")
_WEATHER = ("SUNNY", "CLOUDY", "RAIN", "SNOW", "FOG", "WINDY", "FINE", "HOT", "COLD", "OVERCAST")
_RST = (("599", 6), ("589", 3), ("579", 3), ("569", 2), ("559", 2), ("549", 1), ("449", 1), ("479", 1), ("339", 1))
_POWERS = (("5W", 2), ("10W", 2), ("50W", 1), ("100W", 6), ("200W", 1), ("400W", 1), ("500W", 1), ("1KW", 1))
_BAND_STARTS = (3510, 7010, 10110, 14010, 18070, 21010, 24890, 28010)

# A field drawn once per sentence: "UR RST {rst} {rst}" repeats the same report.
_FIELDS = {
    "call": _call,
    "mycall": _call,
    "name": lambda rng: _pick(rng, _NAMES),
    "city": lambda rng: _pick(rng, _CITIES),
    "rig": lambda rng: _pick(rng, _RIGS),
    "ant": lambda rng: _pick(rng, _ANTENNAS),
    "wx": lambda rng: _pick(rng, _WEATHER),
    "rst": lambda rng: _weighted(rng, _RST),
    "pwr": lambda rng: _weighted(rng, _POWERS),
    "qrp": lambda rng: f"{1 + _below(rng, 5)}W",
    "temp": lambda rng: f"{_below(rng, 36)}C",
    "height": lambda rng: f"{6 + _below(rng, 25)}M",
    "age": lambda rng: str(16 + _below(rng, 74)),
    "year": lambda rng: str(1955 + _below(rng, 70)),
    "freq": lambda rng: str(_pick(rng, _BAND_STARTS) + _below(rng, 40)),
    "serial": lambda rng: f"{1 + _below(rng, 999):03d}",
}
_FIELD = re.compile(r"\{(\w+)\}")

_OPENINGS = ("{call} DE {mycall}", "{call} DE {mycall} {mycall}", "{call} {call} DE {mycall}")
_GREETINGS = ("GM OM", "GA OM", "GE OM", "GM DR OM", "TNX FER CALL", "GM OM TNX FER CALL", "GA ES TNX FER CALL",
              "R R TNX FER RPT", "GE DR OM TNX FER CALL", "VY GLD TO MEET U")
_REPORTS = ("UR RST {rst} {rst}", "UR RST IS {rst} {rst}", "RST {rst} {rst}", "UR SIGS {rst} {rst} WID QSB",
            "UR RST {rst} {rst} QRM HR")
_INTRODUCTIONS = ("NAME IS {name} {name}", "NAME HR {name} {name}", "OP IS {name} {name}", "NAME {name}",
                  "QTH NR {city}", "QTH IS {city} {city}", "QTH {city} {city}", "MY QTH IS {city}")
# One sentence from each of a few subjects, so that an over has no two weather reports.
_TOPICS = (
    ("WX {wx} TEMP {temp}", "WX HR {wx} ES {temp}", "WX IS {wx}"),
    ("RIG {rig} {pwr}", "RIG HR {rig} PWR {pwr}", "RIG IS {rig}", "NW QRP {qrp}"),
    ("ANT {ant}", "ANT IS {ant} UP {height}", "ANT HR {ant}"),
    ("AGE HR {age}", "HAM SINCE {year}", "LIC IN {year}"),
    ("QRM HR SRI", "QRN FROM TS", "QSB ON UR SIG", "SOLID CPY HR", "FB ON UR RIG"),
    ("PSE QRS", "HW CPY?", "PSE AGN UR NAME?", "QSY TO {freq}", "UR NR {serial}"),
    ("QSL VIA BURO", "QSL VIA LOTW", "PSE QSL VIA BURO"),
)
_CLOSINGS = ("TNX FER QSO 73", "73 ES GL", "73 ES 88", "HPE CUAGN 73", "TNX FER FB QSO 73 ES GD DX", "QRT NW 73",
             "CUL 73", "HW? BK", "QRZ?")


def _fill(rng, template):
    values = {}
    for field in _FIELD.findall(template):
        if field not in values:
            values[field] = _FIELDS[field](rng)
    return template.format_map(values)


def _over(rng):
    """One station's turn, sentence templates in the order of a real QSO:
    calls, greeting, report, name and QTH, a few topics, the sign-off."""
    templates = [_pick(rng, _OPENINGS)] if rng.random() < 0.5 else []
    templates += [_pick(rng, _GREETINGS), _pick(rng, _REPORTS)]
    name, qth = _pick(rng, _INTRODUCTIONS[:4]), _pick(rng, _INTRODUCTIONS[4:])
    templates += _shuffled(rng, (name, qth))
    templates += [_pick(rng, subject) for subject in _shuffled(rng, _TOPICS)[:2 + _below(rng, 3)]]
    templates.append(_pick(rng, _CLOSINGS))
    return [_fill(rng, template) for template in templates]


def _cut(sentences, characters):
    """The words up to the sentence end nearest the target if one lies within
    6 characters of it, otherwise up to the nearest word end."""
    ends, count, words = [], 0, []
    for sentence in sentences:
        sentence_words = sentence.split()
        for position, word in enumerate(sentence_words, 1):
            words.append(word)
            count += len(word)
            ends.append((abs(count - characters), position == len(sentence_words), len(words)))
    sentence_ends = [end for end in ends if end[1] and end[0] <= 6]
    best = min(sentence_ends or ends, key=lambda end: end[0])
    return " ".join(words[:best[2]])


def _plain(rng, characters):
    sentences, total = [], 0
    while total < characters + 8:
        for sentence in _over(rng):
            sentences.append(sentence)
            total += len(sentence.replace(" ", ""))
    return _cut(sentences, characters)


def _groups(rng, characters):
    return " ".join(_letters(rng, 5) for _ in range((characters + 2) // 5))


_MAKERS = {"groups": _groups, "calls": _calls, "plain": _plain}


def make_text(kind: str, seed: int, characters: int = 60) -> str:
    """One message of `kind` ("groups", "calls" or "plain") with about
    `characters` non-space characters (within 8, never a cut word), words
    separated by single spaces. The same kind, seed and length give the
    same text on every machine and Python version. ValueError for another
    kind, a negative seed or fewer than 10 characters."""
    if kind not in KINDS:
        raise ValueError(f"unknown text kind {kind!r}: use one of {', '.join(KINDS)}")
    seed, characters = _whole(seed, "seed"), _whole(characters, "characters")
    if seed < 0:
        raise ValueError(f"seed must be 0 or more, not {seed}")
    if characters < 10:
        raise ValueError(f"characters must be at least 10, not {characters}")
    return _MAKERS[kind](random.Random(seed), characters)


def _whole(value, name):
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{name} must be a whole number, not {value!r}")
    return int(value)
