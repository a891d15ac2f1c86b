"""score(): a suite, decoders, and the scorecard they make."""

import os
import re
import sys
from dataclasses import dataclass, field

from .. import _vantel
from . import decoders as _decoders
from . import results, run, suites


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
    runs: list = field(repr=False)
    rows: list = field(repr=False)
    thresholds: list
    files: list = field(repr=False)
    decoders: dict = field(repr=False)
    interrupted: bool = False
    overhead_seconds: float = 0.0
    decoder_seconds: dict = field(default_factory=dict)
    error: "str | None" = None

    def summary(self):
        failed = {name: sum(run.outcomes[name][0].failure is not None for run in self.runs) for name in self.decoders}
        return dict(suite=self.suite, quick=self.quick, vantel=_vantel.VERSION, files_total=self.files_total,
                    files_scored=len(self.runs), interrupted=self.interrupted, error=self.error,
                    decoders=self.decoders,
                    clipped_files=sum(run.clipping is not None for run in self.runs),
                    failed_files=failed, audio_seconds=sum(run.seconds for run in self.runs),
                    overhead_seconds=self.overhead_seconds, decoder_seconds=self.decoder_seconds)

    def write(self, folder):
        """results.json, results.csv, thresholds.csv, files.csv, cer.png,
        cer.svg and report.md in `folder` (made if missing), each complete."""
        os.makedirs(folder, exist_ok=True)
        results.write_all(folder, self.summary(), self.rows, self.thresholds, self.files)


def _suite(suite, quick):
    if isinstance(suite, (str, os.PathLike)):
        suite = suites.named(os.fspath(suite))
    elif isinstance(suite, dict):
        suite = suites.build(suite)
    elif not isinstance(suite, suites.Suite):
        raise TypeError(f"suite= takes a suite's name, a file, a definition dict or a Suite, not {type(suite).__name__}")
    return suite.quickened() if quick else suite


def _cache_folder(cache, suite):
    if cache is None:
        return None
    folder = os.path.join(os.fspath(cache), f"{suite.name}-{suite.fingerprint()}")
    os.makedirs(folder, exist_ok=True)
    return folder


def prepare(suite, decoders, quick=False):
    """(Suite, [decoder]) checked, before anything runs: SuiteError or
    DecoderError (both ValueError) with one line."""
    suite = _suite(suite, quick)
    if not decoders:
        raise _decoders.DecoderError("no decoder: give at least one")
    made = [d if hasattr(d, "decode") else _decoders.make(name, d) for name, d in decoders.items()]
    names = [d.name for d in made]
    if len(set(names)) != len(names):
        raise _decoders.DecoderError(f"two decoders named {next(n for n in names if names.count(n) > 1)}")
    return suite, made


def execute(suite, made, *, jobs=None, timeout=60.0, cache=None, client=None, progress=None, on_failure=None):
    """Runs the prepared suite; the Scorecard (interrupted=True after
    Ctrl-C, which is not re-raised here)."""
    shown = progress if progress is not None else sys.stderr.isatty()
    bar, runs, reported = run.Progress(len(suite.files), shown), [], set()

    def took(file_run):
        runs.append(file_run)
        if file_run.clipping and on_failure and "clipping" not in reported:
            reported.add("clipping")
            on_failure("suite", suite.file_named(file_run.index), file_run.clipping + " (give the sweep a lower "
                       "auto_rms; the file's noise no longer has the statistics its S/N promises)")
        for name, (outcome, _) in file_run.outcomes.items():
            # Once per decoder and kind of failure (a byte's place or a
            # status number does not make a new kind).
            kind = (name, re.sub(r"\d+", "#", outcome.failure or ""))
            if outcome.failure and on_failure and kind not in reported:
                reported.add(kind)
                on_failure(name, suite.file_named(file_run.index), outcome.failure)
        bar.step()

    interrupted, error = False, None
    try:
        cache = _cache_folder(cache, suite)
        if client is not None:
            run.run_on_cluster(suite.files, made, timeout, cache, client, took)
        else:
            run.run_here(suite.files, made, timeout, cache, jobs or os.cpu_count() or 1, took)
    except KeyboardInterrupt:
        interrupted = True
    except OSError as stopped:  # a full disk, an unreadable cache: the files scored so far still count
        error = f"{stopped.filename}: {stopped.strerror}" if stopped.filename and stopped.strerror else str(stopped)
    finally:
        bar.finish()
    names = [d.name for d in made]
    rows = results.tabulate(suite.files, runs, names)
    seconds = {name: sum(r.outcomes[name][0].seconds for r in runs) for name in names}
    return Scorecard(suite.name, suite.quick, len(suite.files), runs, rows, results.thresholds(rows, names),
                     results.file_rows(suite.files, runs, names), {d.name: d.describe() for d in made},
                     interrupted, sum(r.overhead_seconds for r in runs), seconds, error)


def score(suite: "str | os.PathLike[str] | dict[str, Any]", decoders: "dict[str, Any]",
          out_dir: "str | os.PathLike[str] | None" = None, *, quick: bool = False, jobs: "int | None" = None,
          timeout: float = 60.0, cache: "str | os.PathLike[str] | None" = None,
          client: "distributed.Client | None" = None, progress: "bool | None" = None) -> "Scorecard":
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
    suite, made = prepare(suite, decoders, quick)
    if out_dir is not None:
        os.mkdir(out_dir)
    card = execute(suite, made, jobs=jobs, timeout=timeout, cache=cache, client=client, progress=progress)
    if out_dir is not None:
        card.write(out_dir)
    if card.interrupted:
        raise KeyboardInterrupt
    if card.error:
        raise OSError(f"the run stopped after {len(card.runs)} files: {card.error}")
    return card
