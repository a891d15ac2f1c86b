"""Keyword arguments as the argument list vantel-gen would be given.

Nothing here knows vantel-gen's options: each keyword becomes the option of
that name, and vantel-gen's own parser (gen::parseOptions) reads the list, so
an option added to the command works here the day it is added, with the
command's messages for anything it cannot use.
"""

import numbers
import os
import re

# The options that shape what the command writes where, not what a clip in
# memory holds.
NOT_FOR_A_CLIP = frozenset({"output", "o", "sweep", "jobs", "j", "quiet", "q", "help", "h", "version"})


# A keyword is an option's name and nothing more: a name that held "=" or a
# blank could smuggle another option, or a value, into the argument list.
_KEYWORD = re.compile(r"[a-z][a-z0-9]*(_[a-z0-9]+)*")


def option_name(keyword):
    """`filter_bw` -> `--filter-bw`; a one-letter keyword is a short option (`j` -> `-j`)."""
    if not isinstance(keyword, str) or not _KEYWORD.fullmatch(keyword):
        raise ValueError(f"{keyword!r} is not an option's name: use vantel-gen's options without their dashes, "
                         "with _ for - (filter_bw=)")
    if len(keyword) == 1:
        return "-" + keyword
    return "--" + keyword.replace("_", "-")


def value_text(keyword, value, lists=False):
    """The text a user would type for `value`.

    Floats are written by repr, which gives the shortest text that reads back
    as the same double; numpy's floats by str, which does the same at their
    own precision. With `lists`, a list or tuple becomes a sweep list
    ("0,3,6").
    """
    if isinstance(value, (str, bytes)):
        return value
    if isinstance(value, os.PathLike):
        return os.fspath(value)
    if isinstance(value, numbers.Integral):
        return str(int(value))
    if isinstance(value, float):
        return repr(value)
    if isinstance(value, numbers.Real):  # numpy floats and the like
        return str(value)
    if lists and isinstance(value, (list, tuple)):
        if not value:
            raise ValueError(f"{keyword}= is an empty list")
        items = [value_text(keyword, v) for v in value]
        if any(isinstance(item, bytes) for item in items):
            return b",".join(_bytes(keyword, item) for item in items)
        return ",".join(items)
    raise TypeError(f"{keyword}= takes a number or a text, not {type(value).__name__}")


def _bytes(keyword, text):
    """A text as the bytes a user would type: UTF-8. Text that is not valid
    Unicode (a lone surrogate) is refused rather than guessed at."""
    if isinstance(text, bytes):
        return text
    try:
        return text.encode("utf-8")
    except UnicodeEncodeError as error:
        raise ValueError(f"{keyword}= is not valid text: it holds {text[error.start]!r} at position {error.start} "
                         "(give bytes for bytes that are not UTF-8)") from None


def _is_flag_value(value):
    # numpy's bool is no subclass of bool; either way True means the flag,
    # never the number 1.
    return isinstance(value, bool) or type(value).__name__ == "bool_"


def arguments(options, lists=False):
    """The argument list for `options` (a mapping of keyword to value).

    True gives the flag alone, False and None leave the option out, anything
    else gives `--name=text`, so that a flag given a value is refused by the
    parser ("--no-filter takes no value") instead of the value being taken
    for the next option.
    """
    args = []
    for keyword, value in options.items():
        name = option_name(keyword)
        if value is None:
            continue
        if _is_flag_value(value):
            if value:
                args.append(name)
            continue
        text = _bytes(keyword, value_text(keyword, value, lists))
        if len(keyword) == 1:
            args += [name, text]
        else:
            args.append(name.encode() + b"=" + text)
    return args


def refuse(options, names, why):
    given = sorted(k for k in options if k in names)
    if given:
        raise ValueError(f"{given[0]}= {why}")
