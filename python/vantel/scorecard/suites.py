"""Suites: named, versioned sets of files that anyone generates identically.

A suite is a list of sweeps. A sweep names its band condition, the S/N
points (Vantel's label, in the sweep's `bw`), the speeds, the kinds of text,
the files per S/N, speed and text kind, a tone range and any other
vantel-gen options. Every file's message, tone and noise seed follow from
the suite's seed and the file's place, so the files are the same on every
machine; the same messages are sent at every S/N point of a sweep, so
curves compare like with like.

A user suite is a TOML or JSON file of the same shape:

    name = "my-fading"
    seed = 7
    [[sweep]]
    condition = "poor"
    snr = "0:30:3"            # a list, a number or vantel-gen's sweep syntax
    wpm = [20, 30]
    text = ["groups", "calls"]
    files = 2
    tone = [500, 900]         # or one number
    [sweep.options]
    channel = "poor"
    bw = 500
"""

import hashlib
import json
import math
import numbers
import os
import random
import tomllib
from dataclasses import dataclass, field

from .. import _options, _vantel
from .texts import KINDS, make_text

_SUITE_KEYS = frozenset({"name", "seed", "description", "sweep"})
_SWEEP_KEYS = frozenset({"condition", "snr", "wpm", "text", "files", "tone", "characters", "options"})
# Given by the sweep's own keys, or meaningless for one file of a suite.
_OWN_OPTIONS = frozenset({"message", "messages", "seed", "snr", "wpm", "tone", "quiet_warnings"})
# A file's S/N label in `bw` over its one-sided S/N in 2500 Hz: the label
# counts the noise two-sided (3.01 dB), and 2500 Hz holds 2500/bw times
# the noise of bw.
_TWO_SIDED_DB = 10 * math.log10(2)


def snr_2500_db(snr_label_db, bw_hz):
    """The one-sided S/N in 2500 Hz that ham decoders quote, for Vantel's
    label `snr_label_db` in `bw_hz`."""
    return snr_label_db - _TWO_SIDED_DB - 10 * math.log10(2500 / bw_hz)


def file_name(suite_name, index):
    return f"{suite_name}-{index:05d}.wav"


@dataclass(frozen=True)
class SuiteFile:
    """One file of a suite: what generate() makes it from, and its cell."""

    index: int
    name: str
    options: dict = field(hash=False)
    condition: str
    text_kind: str
    wpm: float
    snr_label_db: float
    snr_2500_db: float
    tone_hz: float


@dataclass(frozen=True)
class Suite:
    name: str
    files: tuple
    quick: bool = False
    description: str = ""

    def quickened(self):
        """A tenth of the suite, every tenth file, to try a decoder fast."""
        return Suite(self.name, self.files[::10], True, self.description)

    def file_named(self, index):
        return file_name(self.name, index)

    def fingerprint(self):
        """Twelve hex digits that change whenever any file would."""
        text = json.dumps([[f.name, f.options] for f in self.files], sort_keys=True)
        return hashlib.sha256(text.encode()).hexdigest()[:12]


class SuiteError(ValueError):
    """A suite that cannot be used: the text says what and where."""


def _unit(rng):
    # random() is the one draw whose sequence Python keeps across versions.
    return rng.random()


def _tone(tone, seed):
    low, high = tone
    return float(round(low + (high - low) * _unit(random.Random(seed))))


def _sweep_files(suite_name, suite_seed, number, sweep, first_index):
    options = dict(sweep["options"])
    bw = float(options.get("bw", 300))
    files, message_number = [], 0
    for wpm in sweep["wpm"]:
        for kind in sweep["text"]:
            for copy in range(sweep["files"]):
                # The same message and tone at every S/N point.
                text_seed = _vantel.file_seed(suite_seed, number * 1_000_000 + message_number)
                message_number += 1
                message = make_text(kind, text_seed, sweep["characters"])
                tone = _tone(sweep["tone"], text_seed)
                for snr in sweep["snr"]:
                    files.append(dict(condition=sweep["condition"], text_kind=kind, wpm=wpm, snr=snr, bw=bw,
                                      tone=tone, options={**options, "message": message, "wpm": wpm, "snr": snr,
                                                          "tone": tone}))
    # In S/N order, so that a tenth of the suite still has every S/N point.
    files.sort(key=lambda f: f["snr"])
    made = []
    for offset, f in enumerate(files):
        index = first_index + offset
        f["options"]["seed"] = _vantel.file_seed(suite_seed + 1, index)
        made.append(SuiteFile(index, file_name(suite_name, index), f["options"], f["condition"], f["text_kind"],
                              float(f["wpm"]), float(f["snr"]), round(snr_2500_db(f["snr"], f["bw"]), 2) + 0.0,
                              f["tone"]))
    return made


def build(definition, where="suite"):
    """A Suite from its definition (the dict a suite file holds). SuiteError,
    naming `where` and the key, for anything unknown or unusable."""
    _check_keys(definition, _SUITE_KEYS, where)
    name = definition.get("name")
    if not isinstance(name, str) or not name or any(c in name for c in "/\\\0") or name.startswith("."):
        raise SuiteError(f"{where}: name must be a text usable in a file name, such as \"my-suite\"")
    seed = definition.get("seed", 1)
    if not isinstance(seed, int) or isinstance(seed, bool) or not 0 <= seed < 2**63:
        raise SuiteError(f"{where}: seed must be a whole number from 0 to 2^63-1")
    sweeps = definition.get("sweep")
    if not isinstance(sweeps, list) or not sweeps:
        raise SuiteError(f"{where}: no sweep: give at least one [[sweep]]")
    files = []
    for number, sweep in enumerate(sweeps):
        checked = _checked_sweep(sweep, f"{where}: sweep {number + 1}")
        files += _sweep_files(name, seed, number, checked, len(files))
    return Suite(name, tuple(files), description=str(definition.get("description", "")))


def _check_keys(table, allowed, where):
    if not isinstance(table, dict):
        raise SuiteError(f"{where}: expected a table of keys")
    unknown = sorted(set(table) - allowed)
    if unknown:
        raise SuiteError(f"{where}: unknown key {unknown[0]!r} (known: {', '.join(sorted(allowed))})")


def _numbers(value, key, where):
    if isinstance(value, str):
        try:
            return [float(v) for v in _vantel.expand_values(_options.option_name(key), value)]
        except ValueError as error:
            raise SuiteError(f"{where}: {key}: {error}") from None
    values = value if isinstance(value, list) else [value]
    if not values or not all(isinstance(v, numbers.Real) and not isinstance(v, bool) and math.isfinite(v)
                             for v in values):
        raise SuiteError(f"{where}: {key} must be a number, a list of numbers or a range such as \"0:30:1\"")
    return [float(v) for v in values]


def _whole(value, key, where, low, high):
    if not isinstance(value, int) or isinstance(value, bool) or not low <= value <= high:
        raise SuiteError(f"{where}: {key} must be a whole number from {low} to {high}")
    return value


def _checked_sweep(sweep, where):
    _check_keys(sweep, _SWEEP_KEYS, where)
    missing = [key for key in ("condition", "snr") if key not in sweep]
    if missing:
        raise SuiteError(f"{where}: {missing[0]} is missing")
    condition = sweep["condition"]
    if not isinstance(condition, str) or not condition.strip() or "," in condition:
        raise SuiteError(f"{where}: condition must be a short name without commas, such as \"flutter\"")
    kinds = sweep.get("text", list(KINDS))
    kinds = [kinds] if isinstance(kinds, str) else kinds
    if not isinstance(kinds, list) or not kinds or any(kind not in KINDS for kind in kinds):
        raise SuiteError(f"{where}: text must be one or more of {', '.join(KINDS)}")
    tone = _numbers(sweep.get("tone", 700), "tone", where)
    if len(tone) not in (1, 2):
        raise SuiteError(f"{where}: tone must be one number or [low, high]")
    options = sweep.get("options", {})
    if not isinstance(options, dict):
        raise SuiteError(f"{where}: options must be a table of vantel-gen's options, such as {{ channel = \"poor\" }}")
    # As the command spells them (filter-bw) or as Python does (filter_bw).
    spelled = {str(key).removeprefix("--").replace("-", "_"): value for key, value in options.items()}
    if len(spelled) != len(options):
        raise SuiteError(f"{where}: options: an option is given twice")
    options = spelled
    checked = dict(condition=condition.strip(), snr=_numbers(sweep["snr"], "snr", where),
                   wpm=_numbers(sweep.get("wpm", 20), "wpm", where), text=kinds,
                   files=_whole(sweep.get("files", 1), "files", where, 1, 10_000),
                   characters=_whole(sweep.get("characters", 60), "characters", where, 10, 10_000),
                   tone=(tone[0], tone[-1]), options=options)
    _check_options(checked, where)
    return checked


def _check_options(sweep, where):
    options = sweep["options"]
    for keyword in options:
        try:
            _options.check_keyword(keyword)
        except ValueError as error:
            raise SuiteError(f"{where}: options: {error}") from None
        if keyword in _OWN_OPTIONS or keyword in _options.NOT_FOR_A_CLIP:
            raise SuiteError(f"{where}: options: {keyword} cannot be set there"
                             + (" (the sweep's own key sets it)" if keyword in ("snr", "wpm", "tone") else ""))
        if keyword not in _options.CLIP_KEYWORDS:
            raise SuiteError(f"{where}: options: {keyword} is not one of vantel-gen's options")
    # Every corner of the sweep, as vantel-gen would read it.
    for snr in (min(sweep["snr"]), max(sweep["snr"])):
        for wpm in (min(sweep["wpm"]), max(sweep["wpm"])):
            for tone in sweep["tone"]:
                try:
                    request = _options.file_request({**options, "message": "TEST", "snr": snr, "wpm": wpm,
                                                     "tone": tone})
                    loose = _vantel.loose_text_warnings(request)
                except (TypeError, ValueError) as error:
                    raise SuiteError(f"{where}: {error}") from None
                if loose:
                    raise SuiteError(f"{where}: {loose[0]}")


def load(path):
    """The Suite in a TOML or JSON file. SuiteError naming the file for
    anything it cannot use."""
    where = os.fspath(path)
    try:
        with open(path, "rb") as file:
            raw = file.read(1 << 20)
    except OSError as error:
        raise SuiteError(f"{where}: cannot read: {error.strerror}") from None
    try:
        text = raw.decode("utf-8")
        definition = json.loads(text) if where.lower().endswith(".json") else tomllib.loads(text)
    except UnicodeDecodeError as error:
        raise SuiteError(f"{where}: not UTF-8 text (byte {error.start})") from None
    except (ValueError, tomllib.TOMLDecodeError) as error:
        raise SuiteError(f"{where}: {error}") from None
    return build(definition, where)


def _band_sweep(condition, **options):
    return dict(condition=condition, snr=[0, 6, 12, 18, 24, 30], wpm=_SPEEDS, text=list(KINDS), files=2,
                tone=[500, 900], options={**_COMMON, **options})


_SPEEDS = [15, 20, 25, 30, 35]
# 8000 Hz, as most decoders take; labels in 500 Hz, 10.00 dB above the S/N in
# 2500 Hz; a second before and after the message, for a decoder to settle and
# to finish; the file at -20 dBFS RMS, never clipped.
_COMMON = {"rate": 8000, "bw": 500, "level": "auto", "lead_in": 1, "tail": 1}

BUILT_IN = {
    # 41 S/N points, -20 to +20 dB in 2500 Hz; 45 files of about 60
    # characters per point, so about 2700 characters: a CER near 50 % is
    # known to within +-1.9 %.
    "awgn-v1": dict(name="awgn-v1", seed=20261209, description="white Gaussian noise, S/N in 1 dB steps",
                    sweep=[dict(condition="awgn", snr="-10:30:1", wpm=_SPEEDS, text=list(KINDS), files=3,
                                tone=[500, 900], options=dict(_COMMON))]),
    "band-v1": dict(name="band-v1", seed=20261210, description="fading, QSB, QRM, QRN and an uneven fist",
                    sweep=[_band_sweep("awgn"),
                           _band_sweep("moderate", channel="moderate"),
                           _band_sweep("poor", channel="poor"),
                           _band_sweep("flutter", channel="flutter"),
                           _band_sweep("qsb", qsb_depth=20, qsb_period=8),
                           _band_sweep("qrm", qrm=3, qrm_level=-6),
                           # Crashes stand far above the noise: RMS low enough that none is clipped.
                           _band_sweep("qrn", qrn=2, auto_rms=-44),
                           _band_sweep("fist", jitter=15, speed_drift=10, weight=45)]),
}


def named(name_or_path):
    """A built-in suite by name, or a user suite from a file."""
    if name_or_path in BUILT_IN:
        return build(BUILT_IN[name_or_path], name_or_path)
    if os.path.splitext(name_or_path)[1].lower() in (".toml", ".json") or os.path.exists(name_or_path):
        return load(name_or_path)
    raise SuiteError(f"no suite {name_or_path!r}: give {' or '.join(BUILT_IN)}, or a .toml or .json file")
