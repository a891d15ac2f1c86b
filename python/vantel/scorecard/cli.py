"""vantel-score: scores CW decoders on a suite of calibrated files.

    vantel-score --suite awgn-v1 --decoder multimon-ng --decoder mine='mydecoder {wav}' -o results
"""

import argparse
import os
import signal
import sys

from .. import _vantel
from . import card, decoders, results, suites

PROGRAM = "vantel-score"


def parser():
    p = argparse.ArgumentParser(
        prog=PROGRAM, description="Scores CW decoders on a suite of calibrated noisy files: the character and word "
        "error rates at each S/N, and the S/N where the CER crosses 5 % and 50 %.",
        epilog="Built-in suites: " + "; ".join(f"{name} ({d['description']})" for name, d in suites.BUILT_IN.items())
        + ". Results: results.json, results.csv, thresholds.csv, files.csv, cer.png, cer.svg and report.md.")
    p.add_argument("--suite", required=True, metavar="NAME|FILE", help="awgn-v1, band-v1 or a .toml/.json suite file")
    p.add_argument("--decoder", action="append", required=True, metavar="NAME='COMMAND {wav}'",
                   help="a decoder: its text on standard output; {wav} is the file's path (without {wav}, the WAV "
                   "comes on standard input); or multimon-ng. Repeat for several")
    p.add_argument("-o", "--output", required=True, metavar="DIR", help="the results' folder (must not exist)")
    p.add_argument("--quick", action="store_true", help="a tenth of the suite, to try a decoder fast")
    p.add_argument("-j", "--jobs", type=int, metavar="N", help="files at once (default: one per core)")
    p.add_argument("--timeout", type=float, default=60.0, metavar="S", help="seconds per file for a decoder (60)")
    p.add_argument("--cache", metavar="DIR", help="keep the suite's files here and take them from here next time")
    p.add_argument("--scheduler", metavar="ADDRESS", help="run on this dask.distributed scheduler's workers")
    p.add_argument("--no-progress", action="store_true", help="no progress bar")
    p.add_argument("--version", action="version", version=f"{PROGRAM} {_vantel.VERSION}")
    return p


def _refuse(message):
    print(f"{PROGRAM}: {message}", file=sys.stderr)
    return 2


def _tell_failure(decoder, file_name, reason):
    sys.stderr.write(f"\r{PROGRAM}: {decoder}: {file_name}: {reason} (further such failures are counted, not shown)\n")


def _checked(args):
    """(suite, decoders) or the line that says what is wrong."""
    if args.jobs is not None and args.jobs < 1:
        raise ValueError("--jobs must be 1 or more")
    if not args.timeout > 0:
        raise ValueError("--timeout must be above 0 seconds")
    if os.path.lexists(args.output):
        raise ValueError(f"{args.output} exists: give a new folder for the results")
    made = [decoders.parse_option(text) for text in args.decoder]
    return card.prepare(args.suite, {d.name: d for d in made}, args.quick)


def _client(address):
    try:
        from distributed import Client
    except ImportError:
        raise ValueError("--scheduler needs dask.distributed (Debian: python3-distributed)") from None
    try:
        return Client(address, timeout=10)
    except (OSError, TimeoutError) as error:
        raise ValueError(f"cannot reach the scheduler at {address}: {error}") from None


def _print_thresholds(scorecard):
    for e in scorecard.thresholds:
        if e["wpm"] != "all":
            continue  # per speed: in thresholds.csv and report.md
        cells = [f"CER {label} at {results.threshold_text(e, tag)} dB" for tag, label in (("5pct", "5 %"),
                                                                                          ("50pct", "50 %"))]
        print(f"{e['decoder']:>16}  {e['condition']:<10} {cells[0]:<22} {cells[1]}  (S/N in 2500 Hz)")


def main(argv=None):
    args = parser().parse_args(argv)
    try:
        suite, made = _checked(args)
        client = _client(args.scheduler) if args.scheduler else None
    except ValueError as error:
        return _refuse(error)
    try:
        os.mkdir(args.output)
    except OSError as error:
        return _refuse(f"cannot make {args.output}: {error.strerror}")
    # SIGTERM ends the run as Ctrl-C does, with what was scored written; the
    # exit status says which came (128 and the signal's number).
    stopped_by = [signal.SIGINT]

    def stop_on_term(number, frame):
        stopped_by.append(number)
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, stop_on_term)
    scorecard = card.execute(suite, made, jobs=args.jobs, timeout=args.timeout, cache=args.cache, client=client,
                             progress=False if args.no_progress else None, on_failure=_tell_failure)
    # Ctrl-C again while the results are written would leave them half done.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    signal.signal(signal.SIGTERM, signal.SIG_IGN)
    scorecard.write(args.output)
    _print_thresholds(scorecard)
    for name, count in scorecard.summary()["failed_files"].items():
        if count:
            print(f"{PROGRAM}: {name} failed on {count} of {len(scorecard.runs)} files (counted as copying nothing)",
                  file=sys.stderr)
    if scorecard.error:
        print(f"{PROGRAM}: {scorecard.error}; the results of the {len(scorecard.runs)} files scored before are in "
              f"{args.output}", file=sys.stderr)
        return 1
    if scorecard.interrupted:
        print(f"{PROGRAM}: stopped after {len(scorecard.runs)} of {scorecard.files_total} files; their results are "
              f"in {args.output}", file=sys.stderr)
        return 128 + stopped_by[-1]
    print(f"results in {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
