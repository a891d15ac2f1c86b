# Made by python/gen_stubs.py from the package as it runs; do not edit.
import os
from collections.abc import Sequence
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any, Literal

import numpy as np
import numpy.typing as npt

if TYPE_CHECKING:
    import distributed

from . import data as data
from . import vocab as vocab

__version__: str
__all__ = ["Clip", "VantelWarning", "generate", "sweep", "SweepResult", "SweepInterrupted", "data", "vocab", "score", "Scorecard"]


class Clip:
    """The samples vantel-gen would write for the same options, and what it
    knows about them.

    samples          numpy int16, read-only (the file's samples, in order)
    rate             samples per second
    labels           [(char, start, end), ...]: each character of the encoded
                     message and its half-open sample range, as the
                     manifest's `labels` field gives them
    report           the level report's lines, as vantel-gen prints them
    snr_measured_db  the S/N measured in the reference bandwidth (NaN when
                     there was no tone or no noise)
    settings         the manifest row for this clip, as a dict
    """
    samples: npt.NDArray[np.int16]
    rate: int
    labels: list[tuple[str, int, int]]
    report: list[str]
    snr_measured_db: float
    settings: dict[str, Any]
    @property
    def duration(self) -> float: ...
    def save(self, path: str | os.PathLike[str]) -> None: ...
    def to_float(self) -> npt.NDArray[np.float32]: ...


class VantelWarning(UserWarning):
    """What vantel-gen tells on standard error without stopping: a text read
    loosely ("48k" read as 48) or samples clipped at 16 bits.
    """


@dataclass
class SweepResult:
    folder: str
    files: list[str]
    clipping_warning: str | None = None


class SweepInterrupted(KeyboardInterrupt):
    """A sweep stopped by Ctrl-C: the folder holds the complete files and a
    manifest listing exactly them. The text says how many.
    """


@dataclass
class Scorecard:
    """What a run found.

    rows         one dict per decoder, condition, S/N point and cell (wpm and
                 text_kind; "all" for their sum), as results.csv
    thresholds   per decoder and condition (wpm "all") and per speed, the S/N
                 in 2500 Hz where the CER crosses 5 % and 50 %, with
                 intervals, as thresholds.csv
    files        per decoder and file: the text sent and copied, as files.csv
    interrupted  True when Ctrl-C stopped the run (what was scored is kept)
    error        why the run stopped early (a file that could not be
                 written or read), or None
    """
    suite: str
    quick: bool
    files_total: int
    runs: list[Any]
    rows: list[dict[str, Any]]
    thresholds: list[dict[str, Any]]
    files: list[dict[str, Any]]
    decoders: dict[str, str]
    interrupted: bool = False
    overhead_seconds: float = 0.0
    decoder_seconds: dict[str, float] = ...
    error: str | None = None
    def summary(self) -> dict[str, Any]: ...
    def write(self, folder: str | os.PathLike[str]) -> None: ...


def generate(
    *,
    mode: Literal["onoff", "fsk", "tone"] | None = None,
    message: str | None = None,
    wpm: float | str | None = None,
    tone_length: float | str | None = None,
    tone: float | str | None = None,
    space_tone: float | str | None = None,
    rate: float | str | None = None,
    snr: float | str | None = None,
    bw: float | str | None = None,
    level: float | str | None = None,
    auto_rms: float | None = None,
    filter_cf: float | str | None = None,
    filter_bw: float | str | None = None,
    no_filter: bool = False,
    seed: int | None = None,
    quiet_warnings: bool = False,
    rise: float | None = None,
    farnsworth: float | None = None,
    word_space: float | None = None,
    extended: bool = False,
    jitter: float | None = None,
    dash_ratio: float | None = None,
    weight: float | None = None,
    speed_drift: float | None = None,
    channel: Literal["good", "moderate", "poor", "flutter", "itu-low-quiet", "itu-low-moderate", "itu-low-disturbed", "itu-mid-quiet", "itu-mid-moderate", "itu-mid-disturbed", "itu-mid-nvis", "itu-high-quiet", "itu-high-moderate", "itu-high-disturbed"] | None = None,
    fading_spread: float | None = None,
    fading_delay: float | None = None,
    qsb_depth: float | None = None,
    qsb_period: float | None = None,
    qrm: int | None = None,
    qrm_spread: float | None = None,
    qrm_level: float | None = None,
    qrn: float | None = None,
    qrn_level: float | None = None,
    chirp: float | None = None,
    drift: float | None = None,
    qrm_traffic: Literal["continuous", "qso", "contest", "pileup"] | None = None,
    qrm_time_spread: float | None = None,
    qrn_model: Literal["bursts", "class-a"] | None = None,
    qrn_index: float | None = None,
    qrn_gamma: float | None = None,
    qsb_random: float | None = None,
    qsb_time: float | None = None,
    fading_paths: str | None = None,
    receiver: bool = False,
    if_shape: Literal["gaussian", "butterworth", "crystal"] | None = None,
    if_bw: float | None = None,
    agc: Literal["off", "slow", "fast"] | None = None,
    hum: float | None = None,
    hum_level: float | None = None,
    lead_in: float | None = None,
    tail: float | None = None,
    duration: float | None = None,
    crop_from: float | None = None,
    text_file: str | os.PathLike[str] | None = None,
    paragraph_bt: bool = False,
    koch: float | None = None,
    koch_order: float | None = None,
    groups: int | None = None,
    group_length: float | None = None,
    calls: int | None = None,
    qso: bool = False,
    contest: bool = False,
    word_list: str | os.PathLike[str] | None = None,
    words: int | None = None,
) -> Clip:
    """The clip vantel-gen makes for these options, in memory.

    Each keyword is one of vantel-gen's options without its dashes, `-` as
    `_`, and takes a number or the text a user would type, read by the same
    rules ("18x" reads as 18, with a VantelWarning unless quiet_warnings=True).
    True gives a flag; None or False leaves the option out (vantel-gen's
    default). ValueError with vantel-gen's message when the options cannot be
    used; TypeError for a keyword vantel-gen does not have, or a list: one
    call makes one clip (vantel.sweep() writes a set of files,
    vantel.data.MorseStream draws clips from several values).

    Keywords (vantel-gen's options, --filter-bw as filter_bw=):
      mode=MODE            onoff, fsk or tone (default onoff)
      message              Morse message (default TESTING)
      wpm                  speed in words per minute (default 20)
      tone_length          tone length in seconds, tone mode (default 5)
      tone                 tone frequency in Hz (default 800)
      space_tone           FSK space tone in Hz (default 600)
      rate                 sample rate in Hz (default 12000)
      snr                  signal to noise ratio in dB (default 20)
      bw                   reference bandwidth of the S/N in Hz (default 300)
      level                output scaling in dB (default 0), or auto: chosen
                           from the settings before the run so that the file's
                           RMS is at -20 dBFS, then used as if typed
      auto_rms=DB          the file RMS --level auto aims at, -60 to -3 dBFS
      filter_cf            output filter centre in Hz (default 1800)
      filter_bw            output filter bandwidth in Hz (default 3000)
      no_filter            no output filter
      seed=N               noise seed (default: the window's start-up seed)
      quiet_warnings       no warnings about texts read loosely ("48k" as 48)
      rise=MS              raised-cosine key edges, 0 to 1000 ms (onoff mode)
      farnsworth=WPM       Farnsworth spacing: characters at --wpm, gaps for
                           this overall speed (1 up to below --wpm)
      word_space=FACTOR    word gaps stretched by 1 to 10
      extended             the extended punctuation and prosigns such as <AR>
      jitter=PERCENT       every mark and gap's length varied, 0 to 50 %
      dash_ratio=R         dash length in dots, 2 to 5 (default 3)
      weight=PERCENT       key-down share of a dot and its gap, 10 to 90 (50)
      speed_drift=PERCENT  a slow random walk of the speed, 0 to 50 %
      channel=PRESET       Watterson fading: good, moderate, poor or flutter
                           (or an ITU-R F.1487 condition, see --fading-paths)
      fading_spread=HZ     fading with this Doppler spread, 0.01 to 50 Hz
      fading_delay=MS      fading with this second-path delay, 0 to 10 ms (with
                           --channel these two replace the preset's values)
      qsb_depth=DB         slow sinusoidal fade between 0 and -DB, up to 60 dB
      qsb_period=S         its period, 0.5 to 3600 s (default 10)
      qrm=N                N other CW stations nearby, 0 to 20
      qrm_spread=HZ        within +-HZ of the tone, 0 to 5000 (default 400)
      qrm_level=DB         their level against the wanted signal's, +-6 dB each
                           (-60 to 30, default 0)
      qrn=RATE             static crashes per second, 0 to 100
      qrn_level=DB         their median peak above the noise, -20 to 60 (20)
      chirp=HZ             the tone pulled this high at each key-down, 0 to 500
      drift=HZ_PER_MIN     the tone moving linearly, -1000 to 1000 Hz a minute
      qrm_traffic=MODE     how the --qrm stations behave: continuous (calling
                           over and over, the default), qso (pairs taking turns
                           in QSOs), contest (a runner and its callers) or
                           pileup (callers answering a CQ at once); except
                           continuous, each with its own fist, chirp, drift and
                           fading
      qrm_time_spread=S    a pile-up's callers start within S, 0 to 10 (1)
      qrn_model=MODEL      bursts (smooth crashes, the default) or class-a
                           (Middleton Class A static over the noise, and --qrn
                           trains of lightning strokes per second)
      qrn_index=A          Class A's impulsive index, 0.001 to 10 (0.1)
      qrn_gamma=GAMMA      Class A's Gaussian to impulsive power, 0.0001 to 10
                           (0.1)
      qsb_random=DB        random log-normal fading of this standard deviation,
                           0 to 30 dB
      qsb_time=S           its correlation time, 0.1 to 3600 s (default 10)
      fading_paths=PATHS   fading path by path, up to 4:
                           DELAY_MS:SPREAD_HZ[:POWER_DB[:SHIFT_HZ]] joined by
                           '/' (0:0.5/1:0.5:-3:2); --channel also takes the
                           ITU-R F.1487 presets itu-low-quiet ... itu-high-
                           disturbed
      receiver             a receiver: an IF filter on the tone and an AGC, the
                           noise shaped by the filter (the S/N label stays at
                           the antenna; the manifest adds the S/N at the
                           output)
      if_shape=SHAPE       gaussian, butterworth (default) or crystal
      if_bw=HZ             its -6 dB width, 50 to 6000 Hz (500)
      agc=SPEED            off, slow (default) or fast
      hum=HZ               mains hum and buzz at HZ (50 or 60), 0 to 400
      hum_level=DB         against the wanted signal's level, -80 to 20 (-30)
      lead_in=S            silence before the first character, 0 to 3600 s
      tail=S               silence after the message, 0 to 3600 s
      duration=S           a file exactly this long, up to 3600 s: the
                           characters that fit whole, then silence to its end
      crop_from=SHARE      start at the character this share (0 to 1) into the
                           message
      text_file=FILE       send this UTF-8 text file (- for standard input):
                           line and paragraph breaks are word gaps
      paragraph_bt         send each paragraph break as <BT> (with --extended)
      koch=LESSON          random groups of Koch lesson LESSON: the order's
                           first LESSON + 1 characters, the newest twice as
                           often
      koch_order=ORDER     standard (K M U R E S N A P T L W I . J Z = F O Y ,
                           V G 5 / Q 9 2 H 3 8 B ? 4 7 C 1 D 6 0 X), or the
                           characters in order, in capitals
      groups=N             the number of groups (default 20)
      group_length=L       characters in a group, 1 to 20 (default 5)
      calls=N              N random call signs
      qso                  random QSOs: RST, name, QTH, rig, weather, 73
      contest              random contest exchanges: RST and serial or zone
      word_list=FILE       random words from this file (blank-separated)
      words=N              at most N words of the text
    """
    ...


def sweep(
    out_dir: str | os.PathLike[str],
    client: "distributed.Client | None" = None,
    *,
    progress: bool | None = None,
    mode: Literal["onoff", "fsk", "tone"] | None = None,
    message: str | None = None,
    wpm: float | str | Sequence[float] | None = None,
    tone_length: float | str | None = None,
    tone: float | str | Sequence[float] | None = None,
    space_tone: float | str | None = None,
    rate: float | str | None = None,
    snr: float | str | Sequence[float] | None = None,
    bw: float | str | None = None,
    level: float | str | None = None,
    auto_rms: float | None = None,
    filter_cf: float | str | None = None,
    filter_bw: float | str | None = None,
    no_filter: bool = False,
    seed: int | None = None,
    quiet_warnings: bool = False,
    rise: float | str | Sequence[float] | None = None,
    farnsworth: float | str | Sequence[float] | None = None,
    word_space: float | str | Sequence[float] | None = None,
    extended: bool = False,
    jitter: float | str | Sequence[float] | None = None,
    dash_ratio: float | str | Sequence[float] | None = None,
    weight: float | str | Sequence[float] | None = None,
    speed_drift: float | str | Sequence[float] | None = None,
    channel: str | Sequence[Literal["good", "moderate", "poor", "flutter", "itu-low-quiet", "itu-low-moderate", "itu-low-disturbed", "itu-mid-quiet", "itu-mid-moderate", "itu-mid-disturbed", "itu-mid-nvis", "itu-high-quiet", "itu-high-moderate", "itu-high-disturbed"]] | None = None,
    fading_spread: float | str | Sequence[float] | None = None,
    fading_delay: float | str | Sequence[float] | None = None,
    qsb_depth: float | str | Sequence[float] | None = None,
    qsb_period: float | str | Sequence[float] | None = None,
    qrm: int | str | Sequence[int] | None = None,
    qrm_spread: float | str | Sequence[float] | None = None,
    qrm_level: float | str | Sequence[float] | None = None,
    qrn: float | str | Sequence[float] | None = None,
    qrn_level: float | str | Sequence[float] | None = None,
    chirp: float | str | Sequence[float] | None = None,
    drift: float | str | Sequence[float] | None = None,
    qrm_traffic: str | Sequence[Literal["continuous", "qso", "contest", "pileup"]] | None = None,
    qrm_time_spread: float | str | Sequence[float] | None = None,
    qrn_model: str | Sequence[Literal["bursts", "class-a"]] | None = None,
    qrn_index: float | str | Sequence[float] | None = None,
    qrn_gamma: float | str | Sequence[float] | None = None,
    qsb_random: float | str | Sequence[float] | None = None,
    qsb_time: float | str | Sequence[float] | None = None,
    fading_paths: str | Sequence[str] | None = None,
    receiver: bool | str | Sequence[bool] | None = None,
    if_shape: str | Sequence[Literal["gaussian", "butterworth", "crystal"]] | None = None,
    if_bw: float | str | Sequence[float] | None = None,
    agc: str | Sequence[Literal["off", "slow", "fast"]] | None = None,
    hum: float | str | Sequence[float] | None = None,
    hum_level: float | str | Sequence[float] | None = None,
    lead_in: float | str | Sequence[float] | None = None,
    tail: float | str | Sequence[float] | None = None,
    duration: float | str | Sequence[float] | None = None,
    crop_from: float | str | Sequence[float] | None = None,
    text_file: str | os.PathLike[str] | None = None,
    paragraph_bt: bool = False,
    koch: float | None = None,
    koch_order: float | None = None,
    groups: int | None = None,
    group_length: float | None = None,
    calls: int | None = None,
    qso: bool = False,
    contest: bool = False,
    word_list: str | os.PathLike[str] | None = None,
    words: int | None = None,
    messages: str | os.PathLike[str] | Sequence[str] | None = None,
    jobs: int | None = None,
    audiofolder: bool = False,
) -> SweepResult:
    """Writes exactly the files and manifest `vantel-gen --sweep -o out_dir`
    writes for the same options.

    Keywords are as for generate(). Those a sweep varies (snr=, wpm=, tone=
    and the band options) each take one value, a list of values, or a text
    in vantel-gen's sweep syntax ("-20:10:2", "0,3,6", "0:6:2,10"); a file
    is made for every combination. messages= is a list of messages, or the
    name of a file with one message a line; jobs= the files made at once
    here.

    With a dask.distributed Client each file is one task on the cluster's
    workers, which must see `out_dir` at the same path; without one the
    sweep runs here with vantel-gen's own workers (jobs= of them).

    ValueError (vantel-gen's message) before anything is written; on a
    failing file RuntimeError naming it and the cause; on Ctrl-C
    SweepInterrupted. Either way the folder then holds only complete files
    and a manifest listing exactly them. Before a cluster is given any file,
    RuntimeError names the workers that lack vantel or have another version.

    progress=True shows vantel-gen's progress line (files done, elapsed and
    remaining time) on standard error as files complete, here or from the
    cluster; False never; None, the default, when standard error is a
    terminal, as vantel-gen shows it unless -q. audiofolder=True also writes
    metadata.csv, so that datasets.load_dataset("audiofolder",
    data_dir=out_dir) loads the set with its text and labels.

    Keywords (vantel-gen's options, --filter-bw as filter_bw=):
      mode=MODE            onoff, fsk or tone (default onoff)
      message              Morse message (default TESTING)
      wpm                  speed in words per minute (default 20)
      tone_length          tone length in seconds, tone mode (default 5)
      tone                 tone frequency in Hz (default 800)
      space_tone           FSK space tone in Hz (default 600)
      rate                 sample rate in Hz (default 12000)
      snr                  signal to noise ratio in dB (default 20)
      bw                   reference bandwidth of the S/N in Hz (default 300)
      level                output scaling in dB (default 0), or auto: chosen
                           from the settings before the run so that the file's
                           RMS is at -20 dBFS, then used as if typed
      auto_rms=DB          the file RMS --level auto aims at, -60 to -3 dBFS
      filter_cf            output filter centre in Hz (default 1800)
      filter_bw            output filter bandwidth in Hz (default 3000)
      no_filter            no output filter
      seed=N               noise seed (default: the window's start-up seed)
      quiet_warnings       no warnings about texts read loosely ("48k" as 48)
      rise=MS              raised-cosine key edges, 0 to 1000 ms (onoff mode)
      farnsworth=WPM       Farnsworth spacing: characters at --wpm, gaps for
                           this overall speed (1 up to below --wpm)
      word_space=FACTOR    word gaps stretched by 1 to 10
      extended             the extended punctuation and prosigns such as <AR>
      jitter=PERCENT       every mark and gap's length varied, 0 to 50 %
      dash_ratio=R         dash length in dots, 2 to 5 (default 3)
      weight=PERCENT       key-down share of a dot and its gap, 10 to 90 (50)
      speed_drift=PERCENT  a slow random walk of the speed, 0 to 50 %
      channel=PRESET       Watterson fading: good, moderate, poor or flutter
                           (or an ITU-R F.1487 condition, see --fading-paths)
      fading_spread=HZ     fading with this Doppler spread, 0.01 to 50 Hz
      fading_delay=MS      fading with this second-path delay, 0 to 10 ms (with
                           --channel these two replace the preset's values)
      qsb_depth=DB         slow sinusoidal fade between 0 and -DB, up to 60 dB
      qsb_period=S         its period, 0.5 to 3600 s (default 10)
      qrm=N                N other CW stations nearby, 0 to 20
      qrm_spread=HZ        within +-HZ of the tone, 0 to 5000 (default 400)
      qrm_level=DB         their level against the wanted signal's, +-6 dB each
                           (-60 to 30, default 0)
      qrn=RATE             static crashes per second, 0 to 100
      qrn_level=DB         their median peak above the noise, -20 to 60 (20)
      chirp=HZ             the tone pulled this high at each key-down, 0 to 500
      drift=HZ_PER_MIN     the tone moving linearly, -1000 to 1000 Hz a minute
      qrm_traffic=MODE     how the --qrm stations behave: continuous (calling
                           over and over, the default), qso (pairs taking turns
                           in QSOs), contest (a runner and its callers) or
                           pileup (callers answering a CQ at once); except
                           continuous, each with its own fist, chirp, drift and
                           fading
      qrm_time_spread=S    a pile-up's callers start within S, 0 to 10 (1)
      qrn_model=MODEL      bursts (smooth crashes, the default) or class-a
                           (Middleton Class A static over the noise, and --qrn
                           trains of lightning strokes per second)
      qrn_index=A          Class A's impulsive index, 0.001 to 10 (0.1)
      qrn_gamma=GAMMA      Class A's Gaussian to impulsive power, 0.0001 to 10
                           (0.1)
      qsb_random=DB        random log-normal fading of this standard deviation,
                           0 to 30 dB
      qsb_time=S           its correlation time, 0.1 to 3600 s (default 10)
      fading_paths=PATHS   fading path by path, up to 4:
                           DELAY_MS:SPREAD_HZ[:POWER_DB[:SHIFT_HZ]] joined by
                           '/' (0:0.5/1:0.5:-3:2); --channel also takes the
                           ITU-R F.1487 presets itu-low-quiet ... itu-high-
                           disturbed
      receiver             a receiver: an IF filter on the tone and an AGC, the
                           noise shaped by the filter (the S/N label stays at
                           the antenna; the manifest adds the S/N at the
                           output)
      if_shape=SHAPE       gaussian, butterworth (default) or crystal
      if_bw=HZ             its -6 dB width, 50 to 6000 Hz (500)
      agc=SPEED            off, slow (default) or fast
      hum=HZ               mains hum and buzz at HZ (50 or 60), 0 to 400
      hum_level=DB         against the wanted signal's level, -80 to 20 (-30)
      lead_in=S            silence before the first character, 0 to 3600 s
      tail=S               silence after the message, 0 to 3600 s
      duration=S           a file exactly this long, up to 3600 s: the
                           characters that fit whole, then silence to its end
      crop_from=SHARE      start at the character this share (0 to 1) into the
                           message
      text_file=FILE       send this UTF-8 text file (- for standard input):
                           line and paragraph breaks are word gaps
      paragraph_bt         send each paragraph break as <BT> (with --extended)
      koch=LESSON          random groups of Koch lesson LESSON: the order's
                           first LESSON + 1 characters, the newest twice as
                           often
      koch_order=ORDER     standard (K M U R E S N A P T L W I . J Z = F O Y ,
                           V G 5 / Q 9 2 H 3 8 B ? 4 7 C 1 D 6 0 X), or the
                           characters in order, in capitals
      groups=N             the number of groups (default 20)
      group_length=L       characters in a group, 1 to 20 (default 5)
      calls=N              N random call signs
      qso                  random QSOs: RST, name, QTH, rig, weather, 73
      contest              random contest exchanges: RST and serial or zone
      word_list=FILE       random words from this file (blank-separated)
      words=N              at most N words of the text
      messages=FILE        one message per line (empty lines are skipped)
      jobs=N               files made at once (default: the number of cores)
      audiofolder          also metadata.csv, so that the folder loads as an
                           audio dataset (Hugging Face "audiofolder"):
                           file_name, text, labels ([["C",start,end],...]) and
                           settings
    """
    ...


def score(
    suite: "str | os.PathLike[str] | dict[str, Any]",
    decoders: "dict[str, Any]",
    out_dir: "str | os.PathLike[str] | None" = None,
    *,
    quick: bool = False,
    jobs: "int | None" = None,
    timeout: float = 60.0,
    cache: "str | os.PathLike[str] | None" = None,
    client: "distributed.Client | None" = None,
    progress: "bool | None" = None,
) -> "Scorecard":
    """Scores decoders on a suite.

    suite     "awgn-v1", "band-v1", a .toml or .json suite file, or a dict
              of the same shape
    decoders  {name: how}: a callable (samples, rate) -> text (samples
              float32 in [-1, 1)), a command template ("mydec {wav}", or
              the WAV on standard input without {wav}) or "multimon-ng"
    out_dir   where the result files go (a folder that must not exist yet);
              None writes none
    quick     a tenth of the suite
    jobs      files at once (default: one per core); client= a
              dask.distributed Client to run on its cluster instead
    timeout   seconds a decoder may take on one file
    cache     a folder to keep the suite's files in and take them from

    A decoder that fails on a file (missing, crashing, hanging, printing
    non-text) is counted as copying nothing there. Returns the Scorecard;
    on Ctrl-C, or an OSError that stops the run (a full disk), the
    scorecard so far is written to out_dir and the error raised.
    """
    ...
