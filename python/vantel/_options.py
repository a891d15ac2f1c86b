"""Keyword arguments as the typed requests vantel-gen's options make.

Each keyword is one of the request's options by its name without the dashes,
`-` as `_`; the engine's own option tables (the same ones vantel-gen's
command line reads) decide what it means and refuse what it cannot use, with
vantel-gen's messages.
"""

import numbers
import os
import re

from . import _vantel


def keyword_of(option):
    """`--filter-bw` -> `filter_bw`."""
    return option[2:].replace("-", "_")


# The command's options as the engine's table lists them, in --help's order:
# (keyword, metavar, one-line help), metavar "" for a flag.
OPTION_TABLE = tuple((keyword_of(name), metavar, text) for name, metavar, text in _vantel.OPTION_HELP)

# A clip is made from the request's options, and quiet_warnings= keeps back
# the warnings told about it.
_REQUEST_KEYWORDS = frozenset(keyword_of(name) for name in _vantel.OPTION_NAMES)
CLIP_KEYWORDS = tuple(keyword for keyword, _, _ in OPTION_TABLE
                      if keyword in _REQUEST_KEYWORDS or keyword == "quiet_warnings")

# Options the command reads for itself, for where and how it writes (a
# sweep from Python writes WAV files), what it prints, what it plays and how
# it exits; every other option is a sweep's.
COMMAND_ONLY = frozenset({"output", "sweep", "help", "version", "quiet", "strict", "format", "quality", "title",
                          "artist", "album", "play", "split"})
SWEEP_KEYWORDS = tuple(keyword for keyword, _, _ in OPTION_TABLE if keyword not in COMMAND_ONLY)

# Options that shape what the command writes where, not what a clip in memory
# holds, and their one-letter forms.
NOT_FOR_A_CLIP = (frozenset(keyword for keyword, _, _ in OPTION_TABLE) - set(CLIP_KEYWORDS)
                  | {"sweep", "o", "j", "q", "h"})

# A keyword is an option's name and nothing more: a name that held "=" or a
# blank could otherwise smuggle another option, or a value, into a request.
_KEYWORD = re.compile(r"[a-z][a-z0-9]*(_[a-z0-9]+)*")

# The options a sweep varies, by keyword.
SWEEP_AXES = frozenset(keyword_of(name) for name in _vantel.SWEEP_AXES)


def check_keyword(keyword):
    if not isinstance(keyword, str) or not _KEYWORD.fullmatch(keyword):
        raise ValueError(f"{keyword!r} is not an option's name: use vantel-gen's options without their dashes, "
                         "with _ for - (filter_bw=)")


def option_name(keyword):
    """`filter_bw` -> `--filter-bw`."""
    check_keyword(keyword)
    return "--" + keyword.replace("_", "-")


def value_text(keyword, value):
    """The text a user would type for `value`.

    Floats are written by repr, which gives the shortest text that reads back
    as the same double; numpy's floats by str, which does the same at their
    own precision. Texts are kept as bytes in UTF-8; text that is not valid
    Unicode (a lone surrogate) is refused rather than guessed at.
    """
    if isinstance(value, bytes):
        return value
    if isinstance(value, os.PathLike):
        value = os.fspath(value)
    if isinstance(value, str):
        try:
            return value.encode("utf-8")
        except UnicodeEncodeError as error:
            raise ValueError(f"{keyword}= is not valid text: it holds {value[error.start]!r} at position "
                             f"{error.start} (give bytes for bytes that are not UTF-8)") from None
    if isinstance(value, numbers.Integral):
        return str(int(value)).encode()
    if isinstance(value, float):
        return repr(value).encode()
    if isinstance(value, numbers.Real):  # numpy floats and the like
        return str(value).encode()
    raise TypeError(f"{keyword}= takes a number or a text, not {type(value).__name__}")


def _is_flag_value(value):
    # numpy's bool is no subclass of bool; either way True means the flag,
    # never the number 1.
    return isinstance(value, bool) or type(value).__name__ == "bool_"


def request_texts(options):
    """The request's options as the engine takes them: keyword -> its text,
    True for a flag given; None and False leave an option out."""
    texts = {}
    for keyword, value in options.items():
        check_keyword(keyword)
        if value is None:
            continue
        if _is_flag_value(value):
            if value:
                texts[keyword] = True
            continue
        texts[keyword] = value_text(keyword, value)
    return texts


def file_request(options):
    """A _vantel.FileRequest for generate()-style keywords."""
    return _vantel.FileRequest(request_texts(options))


def refuse(options, names, why):
    given = sorted(k for k in options if k in names)
    if given:
        raise ValueError(f"{given[0]}= {why}")
