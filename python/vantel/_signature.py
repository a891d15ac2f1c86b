"""generate()'s and sweep()'s keyword parameters, made at import from the
engine's option table, so that they are always exactly vantel-gen's options:
their names, Python types, defaults and one-line help."""

import collections.abc
import difflib
import functools
import inspect
import operator
import os
import textwrap
import typing

import numpy as np

from . import _options

MODES = ("onoff", "fsk", "tone")
CHANNEL_PRESETS = (
    "good", "moderate", "poor", "flutter",
    "itu-low-quiet", "itu-low-moderate", "itu-low-disturbed",
    "itu-mid-quiet", "itu-mid-moderate", "itu-mid-disturbed", "itu-mid-nvis",
    "itu-high-quiet", "itu-high-moderate", "itu-high-disturbed",
)


def union(*types):
    """`types[0] | types[1] | ...`."""
    try:
        return functools.reduce(operator.or_, types)
    except TypeError:  # Python 3.9, whose types have no `|`
        return typing.Union[types]


PATH = union(str, os.PathLike[str])
# A number, or the text typed into the window's box ("12k" reads as 12).
TYPED = union(float, str)

# What a value of an option is in Python: by the option, else by its metavar,
# else a number (the band options, read strictly).
_TYPE_OF_KEYWORD = {
    "message": str,
    "mode": typing.Literal[MODES],
    "channel": typing.Literal[CHANNEL_PRESETS],
    "qrm_traffic": typing.Literal["continuous", "qso", "contest", "pileup"],
    "qrn_model": typing.Literal["bursts", "class-a"],
    "if_shape": typing.Literal["gaussian", "butterworth", "crystal"],
    "agc": typing.Literal["off", "slow", "fast"],
    "fading_paths": str,
    "messages": union(PATH, collections.abc.Sequence[str]),
}
_TYPE_OF_METAVAR = {"": bool, "TEXT": TYPED, "N": int, "FILE": PATH}


def value_type(keyword, metavar):
    return _TYPE_OF_KEYWORD.get(keyword) or _TYPE_OF_METAVAR.get(metavar, float)


def axis_type(keyword, metavar):
    """An option a sweep varies: one value, a list of them, or a text in the
    sweep syntax ("-20:10:2")."""
    one = value_type(keyword, metavar)
    if one == TYPED:
        one = float
    if typing.get_origin(one) is typing.Literal:  # a text already takes any of them
        return union(str, collections.abc.Sequence[one])
    return union(one, str, collections.abc.Sequence[one])


def is_several(value):
    """Whether `value` is a list of values rather than one."""
    if isinstance(value, (str, bytes, bytearray)):
        return False
    if isinstance(value, np.ndarray):
        return value.ndim > 0
    return isinstance(value, (collections.abc.Sequence, collections.abc.Set))


def _parameter(keyword, annotation):
    if annotation is bool:
        return inspect.Parameter(keyword, inspect.Parameter.KEYWORD_ONLY, default=False, annotation=bool)
    return inspect.Parameter(keyword, inspect.Parameter.KEYWORD_ONLY, default=None,
                             annotation=union(annotation, type(None)))


class Keywords:
    """One function's keyword parameters, made from rows of the option table
    (keyword, metavar, help), and what it says to any other keyword:
    `refused` (keyword -> why) for the command's options that have no place
    here, TypeError as Python's own for the rest."""

    def __init__(self, function_name, rows, annotate, refused):
        self.function_name = function_name
        self.rows = tuple(rows)
        self.parameters = [_parameter(keyword, annotate(keyword, metavar)) for keyword, metavar, _ in self.rows]
        self.names = frozenset(p.name for p in self.parameters)
        self.refused = dict(refused)

    def check(self, options):
        for keyword in options:
            if keyword in self.names:
                continue
            if keyword in self.refused:
                raise ValueError(f"{keyword}= {self.refused[keyword]}")
            raise TypeError(self._unexpected(keyword))

    def _unexpected(self, keyword):
        message = f"{self.function_name}() got an unexpected keyword argument '{keyword}'"
        close = difflib.get_close_matches(str(keyword), sorted(self.names), n=1)
        return message + (f"; did you mean '{close[0]}'?" if close else "")

    def describe(self, function, returns, annotations=None):
        """Gives `function`, defined with **options, these parameters after
        its own (annotated from `annotations` where the definition is not),
        and a docstring that lists them, each with its line of vantel-gen's
        help."""
        own = [p.replace(annotation=(annotations or {}).get(p.name, p.annotation))
               for p in inspect.signature(function).parameters.values() if p.kind is not p.VAR_KEYWORD]
        table = [p for p in self.parameters if p.name not in {o.name for o in own}]
        function.__signature__ = inspect.Signature([*own, *table], return_annotation=returns)
        function.__doc__ = inspect.cleandoc(function.__doc__) + "\n\n" + self.listing()

    def listing(self):
        """Each keyword with its line of vantel-gen's help, and the value's
        name there when it is more than a typed text."""
        names = [keyword if metavar in ("", "TEXT") else f"{keyword}={metavar}" for keyword, metavar, _ in self.rows]
        width = max(map(len, names)) + 2
        lines = ["Keywords (vantel-gen's options, --filter-bw as filter_bw=):"]
        for name, (_, _, text) in zip(names, self.rows):
            # help() indents a docstring by 4.
            lines += textwrap.wrap(text, 75, initial_indent=f"  {name:<{width}}", subsequent_indent=" " * (width + 2))
        return "\n".join(lines)


GENERATE = Keywords(
    "generate", [row for row in _options.OPTION_TABLE if row[0] in _options.CLIP_KEYWORDS], value_type,
    {keyword: "has no meaning for a clip made in memory" for keyword in _options.NOT_FOR_A_CLIP})

_THE_COMMANDS = "is the command's own"
SWEEP = Keywords(
    "sweep", [row for row in _options.OPTION_TABLE if row[0] in _options.SWEEP_KEYWORDS],
    lambda keyword, metavar: (axis_type if keyword in _options.SWEEP_AXES else value_type)(keyword, metavar),
    {**dict.fromkeys(("output", "o", "sweep"), "is not for a sweep: the folder is the first argument"),
     **dict.fromkeys(("help", "h", "version"), f"{_THE_COMMANDS}: see help(vantel.sweep) and vantel.__version__"),
     **dict.fromkeys(("quiet", "q"), f"{_THE_COMMANDS}: progress=False leaves out the progress line"),
     "strict": f"{_THE_COMMANDS}: clipped samples give a VantelWarning and SweepResult.clipping_warning, "
               "which warnings.simplefilter('error', vantel.VantelWarning) turns into an error"})

# The types of sweep()'s own parameters; the client's is a forward
# reference: dask is optional, and slow to import.
SWEEP_OWN_TYPES = {"out_dir": PATH, "client": "distributed.Client | None", "progress": union(bool, type(None))}
