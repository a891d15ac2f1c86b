"""vantel-copy: at what S/N do you still copy CW at your speed?

    vantel-copy --wpm 20          # about five minutes of clips
    vantel-copy --history         # your sessions over time: a table and a PNG

Short clips (code groups, calls or plain text) are played through the
desktop's sound server at an S/N that an adaptive staircase picks from how
you copied the clips before; you type what you heard. At the end a
psychometric curve fitted to every character gives the S/N where you copy
with 5 % and with 50 % character errors, scored as vantel-score scores a
decoder. Each session is kept as one line of copy-sessions.jsonl in the data
folder ($XDG_DATA_HOME/vantel, by default ~/.local/share/vantel).

S/N is given two ways: Vantel's label (one-sided, in 500 Hz) and the
one-sided S/N in 2500 Hz that decoders are quoted in, exactly 10 dB lower.
"""

import argparse
import builtins
import datetime
import json
import math
import os
import random
import sys
import time
from dataclasses import dataclass
from typing import Callable

import numpy as np

from .. import _vantel, generate
from .scoring import Score, compare
from .suites import snr_2500_db
from .texts import KINDS, make_text

PROGRAM = "vantel-copy"
SESSIONS_FILE = "copy-sessions.jsonl"
BW_HZ = 500
RATE_HZ = 8000
TARGETS = (0.5, 0.05)
LN19 = math.log(19.0)


def snr_2500(snr_label_db):
    """The one-sided S/N in 2500 Hz of a clip made with label `snr_label_db`
    in 500 Hz (10 dB lower), to 0.01 dB as the suites give it."""
    return round(snr_2500_db(snr_label_db, BW_HZ), 2) + 0.0


# ----- the psychometric curve -----

# The curve's spread is looked for in this range (dB): below it, a step; above
# it, a curve too flat to have a 5 % point within any S/N a clip can have.
_SPREAD_RANGE_DB = (0.05, 50.0)


def expected_cer(snr, middle, spread):
    """The logistic curve CER(snr) = 1 / (1 + exp((snr - middle) / spread))."""
    return 1.0 / (1.0 + np.exp((np.asarray(snr, float) - middle) / spread))


def _negative_log_likelihood(middle, log_spread, snrs, errors, chars):
    z = (snrs - middle) / np.exp(log_spread)
    # -log CER = softplus(z), -log(1 - CER) = softplus(-z)
    return np.sum(errors * np.logaddexp(0.0, z) + (chars - errors) * np.logaddexp(0.0, -z), axis=-1)


def fit_logistic(snrs, errors, chars):
    """(middle, spread) in dB of the logistic CER curve most likely to give
    `errors` of `chars` characters (binomial, errors capped at chars) at each
    S/N; None when every character was right or every one wrong, where the
    data hold no crossing to fit."""
    snrs, chars = np.asarray(snrs, float), np.asarray(chars, float)
    errors = np.minimum(np.asarray(errors, float), chars)
    if errors.sum() == 0 or errors.sum() == chars.sum():
        return None
    low, high = np.log(_SPREAD_RANGE_DB[0]), np.log(_SPREAD_RANGE_DB[1])
    middles = np.linspace(snrs.min() - 15.0, snrs.max() + 15.0, 241)
    log_spreads = np.linspace(low, high, 64)
    grid = _negative_log_likelihood(middles[:, None, None], log_spreads[None, :, None], snrs, errors, chars)
    i, j = np.unravel_index(np.argmin(grid), grid.shape)
    middle, log_spread = _refine(middles[i], log_spreads[j], (low, high), snrs, errors, chars)
    return float(middle), float(np.exp(log_spread))


def _refine(middle, log_spread, bounds, snrs, errors, chars):
    """Fisher scoring from a grid point, each step halved until it lowers
    the negative log-likelihood."""
    def cost(m, t):
        return _negative_log_likelihood(m, t, snrs, errors, chars)

    best = cost(middle, log_spread)
    for _ in range(50):
        spread = np.exp(log_spread)
        z = (snrs - middle) / spread
        cer = expected_cer(snrs, middle, spread)
        residual = errors - chars * cer  # d cost / d z
        weight = chars * cer * (1.0 - cer)
        jacobian = np.stack([np.full_like(z, -1.0 / spread), -z])  # d z / d (middle, log spread)
        gradient = jacobian @ residual
        fisher = (jacobian * weight) @ jacobian.T + 1e-9 * np.eye(2)
        step = np.linalg.solve(fisher, gradient)
        scale = 1.0
        while scale > 1e-4:
            m = middle - scale * step[0]
            t = float(np.clip(log_spread - scale * step[1], *bounds))
            trial = cost(m, t)
            if trial <= best:
                break
            scale /= 2
        else:
            break
        moved = abs(m - middle) + abs(t - log_spread)
        middle, log_spread, best = m, t, trial
        if moved < 1e-7:
            break
    return middle, log_spread


@dataclass(frozen=True)
class Estimate:
    """Where the fitted CER curve crosses 50 % and 5 %, as Vantel's S/N
    label in 500 Hz (snr_2500() gives the S/N in 2500 Hz); None for both,
    with the reason in `note`, when the copy shows no crossing."""

    snr_50_db: "float | None"
    snr_5_db: "float | None"
    spread_db: "float | None"
    note: str = ""

    def as_dict(self):
        """The estimate in both S/N columns, named as vantel-score's thresholds."""
        values = {}
        for tag, value in (("50pct", self.snr_50_db), ("5pct", self.snr_5_db)):
            values[f"cer_{tag}_snr_label_db"] = None if value is None else round(value, 2)
            values[f"cer_{tag}_snr_2500_db"] = None if value is None else round(snr_2500(value), 2)
        values["spread_db"] = None if self.spread_db is None else round(self.spread_db, 3)
        values["note"] = self.note
        return values


# ----- the staircase -----

@dataclass
class _Track:
    """One stochastic-approximation track towards the S/N of one CER."""

    target: float
    gain: float  # dB per unit of CER above the target
    snr: float
    direction: int = 0  # of the last step: +1 up, -1 down
    settled: int = 0  # n, the step's divisor: 1 at the first reversal, 0 before it


class Staircase:
    """Places clips on the S/N axis to find where a listener's CER is 50 %
    and 5 %, and estimates both from every character copied.

    Two interleaved Robbins-Monro tracks, one per target CER, take turns:
    until a track first reverses it moves `first_step_db` up or down by
    the sign of the error; from then on by gain * (CER - target) / n, the
    gain being the inverse slope of a curve of spread `spread_guess_db` at
    the target. The estimate is a maximum-likelihood fit of the logistic
    CER(snr) = 1 / (1 + exp((snr - m) / s)) to all trials: m is the 50 %
    point, m + s ln 19 the 5 % point. S/N is Vantel's label in 500 Hz.

        stairs = Staircase(start_db=10)
        snr = stairs.next_snr()       # make and play a clip at it...
        stairs.record(snr, compare(sent, typed))
        stairs.estimate()
    """

    def __init__(self, start_db=10.0, *, first_step_db=4.0, spread_guess_db=3.0, max_step_db=8.0,
                 lowest_db=-30.0, highest_db=40.0):
        if not lowest_db <= start_db <= highest_db:
            raise ValueError(f"start_db must lie between {lowest_db} and {highest_db} dB, not {start_db}")
        self.first_step_db, self.max_step_db = first_step_db, max_step_db
        self.lowest_db, self.highest_db = lowest_db, highest_db
        self._tracks = [_Track(target, spread_guess_db / (target * (1 - target)), float(start_db))
                        for target in TARGETS]
        self.trials = []  # (snr, Score) in the order played

    def next_snr(self):
        """The S/N label (dB, in 500 Hz, to 0.5 dB) for the next clip."""
        return round(self._turn().snr * 2) / 2

    def record(self, snr, score: Score):
        """Takes the Score of the clip played at `snr` (the value next_snr
        gave, or another if the clip was played elsewhere)."""
        if not score.chars:
            raise ValueError("a clip with no characters says nothing about the copy")
        track = self._turn()
        self.trials.append((float(snr), score))
        error = min(score.cer, 1.0) - track.target
        direction = (error > 0) - (error < 0)
        if track.settled == 0 and direction and track.direction and direction != track.direction:
            track.settled = 1
        if track.settled:
            step = track.gain * error / track.settled
            track.settled += 1
        else:
            step = direction * self.first_step_db
        if direction:
            track.direction = direction
        step = float(np.clip(step, -self.max_step_db, self.max_step_db))
        track.snr = float(np.clip(snr + step, self.lowest_db, self.highest_db))

    def _turn(self):
        return self._tracks[len(self.trials) % len(self._tracks)]

    def estimate(self):
        """The Estimate from every trial so far."""
        if not self.trials:
            return Estimate(None, None, None, "no clip was copied")
        snrs = [snr for snr, _ in self.trials]
        errors = [score.errors for _, score in self.trials]
        chars = [score.chars for _, score in self.trials]
        fitted = fit_logistic(snrs, errors, chars)
        if fitted is None:
            if sum(errors) == 0:
                return Estimate(None, None, None, f"every character was right: both points lie below "
                                f"{min(snrs):+.1f} dB, the lowest S/N tried")
            return Estimate(None, None, None, f"every character was wrong: both points lie above "
                            f"{max(snrs):+.1f} dB, the highest S/N tried")
        middle, spread = fitted
        five = middle + spread * LN19
        note = ""
        if not (min(snrs) - 3 <= middle and five <= max(snrs) + 3):
            note = f"beyond the S/N tried ({min(snrs):+.1f} to {max(snrs):+.1f} dB): a rough guess"
        return Estimate(middle, five, spread, note)


# ----- the session -----

class PlaybackFailed(RuntimeError):
    """The sound could not be played; `session` holds what was copied
    before (None when nothing was)."""

    def __init__(self, reason, session):
        super().__init__(reason)
        self.session = session

@dataclass
class Terminal:
    """What a session reads and writes: line input with a prompt, line
    output, sound (samples, rate) and a clock in seconds. Replaceable, so
    that a session can run without a person or a sound server."""

    read_line: Callable[[str], str] = builtins.input
    write: Callable[[str], None] = builtins.print
    play: "Callable[[np.ndarray, int], None] | None" = None
    clock: Callable[[], float] = time.monotonic

    def __post_init__(self):
        if self.play is None:
            self.play = _sound_play


def _sound_play(samples, rate):
    try:
        from .._sound import play
    except ImportError as error:
        raise RuntimeError(f"Cannot play: this vantel has no playback ({error})") from None
    play(samples, rate)


INSTRUCTIONS = """\
Each clip is {characters} characters of {kind} at {wpm:g} WPM. Press Enter to play
it, then type what you heard and press Enter; an empty line plays it once
more. Type what you are unsure of as your best guess; leave out what you
missed. The S/N goes down while you copy well and up when you miss.
The test ends after {minutes:g} minutes, or now with Ctrl-D or Ctrl-C."""


def default_data_dir():
    """$XDG_DATA_HOME/vantel, or ~/.local/share/vantel when that is not set
    to an absolute path."""
    base = os.environ.get("XDG_DATA_HOME", "")
    if not os.path.isabs(base):
        base = os.path.join(os.path.expanduser("~"), ".local", "share")
    return os.path.join(base, "vantel")


def _errors_text(score):
    parts = [f"{count} {name}" for count, name in ((score.substitutions, "wrong"), (score.deletions, "missed"),
                                                   (score.insertions, "extra")) if count]
    if not parts:
        return f"all {score.chars} right"
    return f"{', '.join(parts)} of {score.chars}: CER {100 * score.cer:.0f} %"


def _play_clip(clip_number, snr, text, clip_seed, args, terminal):
    """One clip made, played and copied: the trial's record, or None when
    the listener ends the session at the prompt."""
    clip = generate(message=text, wpm=args.wpm, snr=snr, bw=BW_HZ, rate=RATE_HZ, tone=args.tone,
                    level="auto", seed=clip_seed)
    terminal.read_line(f"Clip {clip_number}  S/N {snr:+.1f} dB ({snr_2500(snr):+.1f} dB in 2500 Hz)"
                       " - press Enter to play ")
    terminal.play(clip.samples, clip.rate)
    typed = terminal.read_line("Copy: ")
    replayed = not typed.strip()
    if replayed:
        terminal.play(clip.samples, clip.rate)
        typed = terminal.read_line("Copy: ")
    sent = clip.settings["message_encoded"]
    score = compare(sent, typed)
    terminal.write(f"Sent: {sent}   {_errors_text(score)}")
    terminal.write("")
    return sent, typed, replayed, score


def _trial_record(snr, sent, typed, replayed, score):
    return {"snr_label_db": snr, "snr_2500_db": snr_2500(snr), "reference": sent, "typed": typed,
            "replayed": replayed, "chars": score.chars, "substitutions": score.substitutions,
            "insertions": score.insertions, "deletions": score.deletions, "errors": score.errors,
            "cer": score.cer}


def run_session(args, terminal):
    """Plays clips until the time is up or the listener stops; returns the
    session's record (None when no clip was copied). PlaybackFailed when
    the sound cannot be played."""
    stairs = Staircase()
    clip_seeds = random.Random(args.seed)
    trials = []
    start = terminal.clock()
    terminal.write(INSTRUCTIONS.format(characters=args.characters, kind=args.kind, wpm=args.wpm,
                                       minutes=args.minutes))
    terminal.write("")
    try:
        while terminal.clock() - start < 60.0 * args.minutes:
            snr = stairs.next_snr()
            text_seed, noise_seed = clip_seeds.randrange(2**31), clip_seeds.randrange(2**31)
            text = make_text(args.kind, text_seed, args.characters)
            try:
                *copied, score = _play_clip(len(trials) + 1, snr, text, noise_seed, args, terminal)
            except RuntimeError as error:
                raise PlaybackFailed(str(error), _session_record(args, stairs, trials)) from None
            stairs.record(snr, score)
            trials.append(_trial_record(snr, *copied, score))
    except (EOFError, KeyboardInterrupt):
        terminal.write("")
    return _session_record(args, stairs, trials)


def _session_record(args, stairs, trials):
    if not trials:
        return None
    total = sum((score for _, score in stairs.trials), Score())
    return {"date": datetime.datetime.now().astimezone().isoformat(timespec="seconds"),
            "version": _vantel.VERSION, "wpm": args.wpm, "kind": args.kind, "characters": args.characters,
            "tone_hz": args.tone, "seed": args.seed, "bw_hz": BW_HZ, "rate_hz": RATE_HZ,
            "chars": total.chars, "errors": total.errors, "cer": total.cer, "trials": trials,
            "estimates": stairs.estimate().as_dict()}


def append_session(data_dir, session):
    """Appends the session as one JSON line to copy-sessions.jsonl in
    `data_dir` (made if missing), in one write so that a reader never sees
    half a line. Returns the file's path."""
    os.makedirs(data_dir, exist_ok=True)
    path = os.path.join(data_dir, SESSIONS_FILE)
    line = (json.dumps(session) + "\n").encode("utf-8")
    descriptor = os.open(path, os.O_WRONLY | os.O_APPEND | os.O_CREAT, 0o644)
    try:
        written = 0
        while written < len(line):
            written += os.write(descriptor, line[written:])
    finally:
        os.close(descriptor)
    return path


def _point_text(label, snr_label, snr_2500_db):
    if snr_label is None:
        return f"  CER {label} at: -"
    return f"  CER {label} at S/N {snr_label:+.1f} dB in 500 Hz ({snr_2500_db:+.1f} dB in 2500 Hz)"


def summary_lines(session):
    """The session's result as the lines printed at its end."""
    e = session["estimates"]
    lines = [f"{len(session['trials'])} clips at {session['wpm']:g} WPM ({session['kind']}): {session['errors']} "
             f"errors in {session['chars']} characters",
             _point_text("50 %", e["cer_50pct_snr_label_db"], e["cer_50pct_snr_2500_db"]),
             _point_text(" 5 %", e["cer_5pct_snr_label_db"], e["cer_5pct_snr_2500_db"])]
    if e["note"]:
        lines.append(f"  ({e['note']})")
    return lines


# ----- history -----

def read_sessions(data_dir):
    """The stored sessions, oldest first, and how many lines could not be read."""
    path = os.path.join(data_dir, SESSIONS_FILE)
    sessions, unreadable = [], 0
    with open(path, encoding="utf-8") as file:
        for line in file:
            try:
                session = json.loads(line)
                datetime.datetime.fromisoformat(session["date"])
                session["estimates"]["cer_50pct_snr_2500_db"]
                sessions.append(session)
            except (ValueError, KeyError, TypeError):
                unreadable += 1
    return sessions, unreadable


def history_table(sessions):
    """One line per session: date, speed, kind, clips and both points in 2500 Hz."""
    def cell(value):
        return "-" if value is None else f"{value:+.1f}"

    lines = ["date              WPM  kind    clips  CER 5 %  CER 50 %  (S/N dB in 2500 Hz)"]
    for s in sessions:
        e = s["estimates"]
        date = datetime.datetime.fromisoformat(s["date"]).strftime("%Y-%m-%d %H:%M")
        lines.append(f"{date}  {s['wpm']:>4g}  {s['kind']:<6}  {len(s['trials']):>5}  "
                     f"{cell(e['cer_5pct_snr_2500_db']):>7}  {cell(e['cer_50pct_snr_2500_db']):>8}")
    return lines


def plot_history(sessions, path):
    """Both points of every session over time, one colour per speed, to a PNG."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure, axes = plt.subplots(figsize=(8, 4.5))
    for number, wpm in enumerate(sorted({s["wpm"] for s in sessions})):
        chosen = [s for s in sessions if s["wpm"] == wpm]
        for tag, marker, style in (("50pct", "o", "-"), ("5pct", "^", "--")):
            points = [(datetime.datetime.fromisoformat(s["date"]), s["estimates"][f"cer_{tag}_snr_2500_db"])
                      for s in chosen if s["estimates"][f"cer_{tag}_snr_2500_db"] is not None]
            if points:
                dates, values = zip(*points)
                axes.plot(dates, values, marker=marker, linestyle=style, color=f"C{number}",
                          label=f"{wpm:g} WPM, CER {tag[:-3]} %")
    axes.set_ylabel("S/N in 2500 Hz (dB)")
    axes.set_title("vantel-copy: where your copy reaches 5 % and 50 % character errors")
    axes.grid(True, alpha=0.3)
    axes.legend(fontsize="small")
    figure.autofmt_xdate()
    figure.tight_layout()
    figure.savefig(path, dpi=100)
    plt.close(figure)


def show_history(data_dir, png):
    try:
        sessions, unreadable = read_sessions(data_dir)
    except FileNotFoundError:
        print(f"{PROGRAM}: no sessions in {data_dir} yet", file=sys.stderr)
        return 1
    if unreadable:
        print(f"{PROGRAM}: left out {unreadable} unreadable line(s) of {os.path.join(data_dir, SESSIONS_FILE)}",
              file=sys.stderr)
    if not sessions:
        print(f"{PROGRAM}: no sessions in {data_dir} yet", file=sys.stderr)
        return 1
    print("\n".join(history_table(sessions)))
    try:
        plot_history(sessions, png)
    except ImportError:
        print(f"{PROGRAM}: no plot: matplotlib is not installed (Debian: python3-matplotlib)", file=sys.stderr)
        return 1
    print(f"plotted in {png}")
    return 0


# ----- the command -----

def parser():
    p = argparse.ArgumentParser(
        prog=PROGRAM, description="A copy test for people: clips of CW in calibrated noise at an S/N that adapts "
        "to your copy find where your character error rate is 5 % and 50 %, in about five minutes.",
        epilog="S/N is shown as Vantel's label in 500 Hz and as the one-sided S/N in 2500 Hz, 10 dB lower. "
        "Sessions are kept in DATA_DIR/" + SESSIONS_FILE + ".")
    p.add_argument("--wpm", type=float, default=20.0, help="speed in words per minute (20)")
    p.add_argument("--minutes", type=float, default=5.0, help="length of the test (5)")
    p.add_argument("--kind", choices=KINDS, default="groups", help="what the clips say (groups)")
    p.add_argument("--characters", type=int, default=10, help="characters per clip, at least 10 (10)")
    p.add_argument("--tone", type=float, default=700.0, help="tone in Hz (700)")
    p.add_argument("--seed", type=int, help="repeats a session's clips (default: a new one, printed)")
    p.add_argument("--history", nargs="?", const="vantel-copy-history.png", metavar="PNG",
                   help="shows the stored sessions as a table and plots them (vantel-copy-history.png)")
    p.add_argument("--data-dir", default=default_data_dir(), help="where sessions are kept (%(default)s)")
    p.add_argument("--version", action="version", version=f"{PROGRAM} {_vantel.VERSION}")
    return p


def _check(p, args):
    """Refuses options no clip can be made with, before the listener starts."""
    if not args.wpm > 0:
        p.error("--wpm must be above 0")
    if not args.minutes > 0:
        p.error("--minutes must be above 0")
    if args.characters < 10:
        p.error("--characters must be at least 10")
    if args.seed is not None and args.seed < 0:
        p.error("--seed must be 0 or more")
    try:
        generate(message="E", wpm=args.wpm, tone=args.tone, snr=0, bw=BW_HZ, rate=RATE_HZ, level="auto", seed=1)
    except ValueError as error:
        p.error(str(error))


def main(argv=None, terminal=None):
    """vantel-copy's command line; the exit status. `terminal` (a Terminal)
    replaces the keyboard, screen, sound and clock."""
    p = parser()
    args = p.parse_args(argv)
    if args.history is not None:
        return show_history(args.data_dir, args.history)
    _check(p, args)
    if args.seed is None:
        args.seed = random.SystemRandom().randrange(1_000_000)
    terminal = terminal or Terminal()
    terminal.write(f"{PROGRAM}: seed {args.seed} (--seed {args.seed} plays these clips again)")
    status = 0
    try:
        session = run_session(args, terminal)
    except PlaybackFailed as error:
        print(f"{PROGRAM}: {error}", file=sys.stderr)
        session, status = error.session, 1
    if session is None:
        terminal.write("No clip was copied: nothing was saved.")
        return status
    for line in summary_lines(session):
        terminal.write(line)
    try:
        path = append_session(args.data_dir, session)
    except OSError as error:
        print(f"{PROGRAM}: cannot save the session in {args.data_dir}: {error.strerror}", file=sys.stderr)
        return 1
    terminal.write(f"Saved in {path}; vantel-copy --history shows your sessions.")
    return status


if __name__ == "__main__":
    sys.exit(main())
