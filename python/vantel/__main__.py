"""python3 -m vantel sweep [--scheduler tcp://HOST:PORT] <vantel-gen's options>

Writes what `vantel-gen --sweep` writes, on a Dask cluster when a scheduler
is given and in this process otherwise, printing and exiting as vantel-gen
does: 0 done, 1 a file failed, 2 unusable options, 3 clipped with --strict,
130 interrupted by Ctrl-C (SIGINT), 143 by SIGTERM.
"""

import signal
import sys
import warnings

from . import _sweep, _vantel
from ._clip import VantelWarning

_PROGRAM = "vantel"
_USAGE = """Usage: python3 -m vantel sweep [--scheduler ADDRESS] [vantel-gen's options]
Writes exactly what vantel-gen --sweep writes for the same options (--sweep
may be left out). With --scheduler (a Dask scheduler's address, such as
tcp://host:8786) each file is one task on the cluster's workers, which must
see the output folder at the same path; without it the sweep runs here.

"""

EXIT_FAILED, EXIT_USAGE, EXIT_CLIPPED = 1, 2, 3


def _say(text):
    print(f"{_PROGRAM}: {text}", file=sys.stderr, flush=True)


def _show_warning(message, category, filename, lineno, file=None, line=None):
    if issubclass(category, VantelWarning):
        _say(message)
    else:
        sys.stderr.write(warnings.formatwarning(message, category, filename, lineno, line))


def _scheduler_and_rest(args):
    scheduler, rest = None, []
    i = 0
    while i < len(args):
        if args[i] == "--scheduler":
            if i + 1 >= len(args):
                raise ValueError("option --scheduler needs a value")
            scheduler = args[i + 1]
            i += 2
            continue
        if args[i].startswith("--scheduler="):
            scheduler = args[i].split("=", 1)[1]
        else:
            rest.append(args[i])
        i += 1
    return scheduler, rest


def _read_command_line(args):
    try:
        return _vantel.parse_command_line(args)
    except ValueError as error:
        # Help and the version, asked for alone, need no output folder.
        try:
            alone = _vantel.parse_command_line([a for a in args if a != "--sweep"])
        except ValueError:
            alone = None
        if alone is None or not (alone.help or alone.version):
            raise error from None
        return alone


def main(argv=None):
    args = sys.argv[1:] if argv is None else argv
    warnings.showwarning = _show_warning
    # SIGTERM stops a sweep as Ctrl-C does, as it stops vantel-gen, and the
    # exit status says which came: 128 and the signal's number.
    stopped_by = [signal.SIGINT]

    def stop_on_term(signum, frame):
        stopped_by.append(signum)
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, stop_on_term)
    if not args or args[0] != "sweep":
        if args and args[0] in ("-h", "--help"):
            print(_USAGE + _vantel.usage(), end="")
            return 0
        _say("the command is: python3 -m vantel sweep [--scheduler ADDRESS] [options] (see --help)")
        return EXIT_USAGE
    try:
        scheduler, rest = _scheduler_and_rest(args[1:])
        if "--sweep" not in rest:
            rest = ["--sweep"] + rest
        line = _read_command_line(rest)
    except ValueError as e:
        _say(e)
        return EXIT_USAGE
    if line.help:
        print(_USAGE + _vantel.usage(), end="")
        return 0
    if line.version:
        print(f"{_PROGRAM} {_vantel.VERSION}")
        return 0
    client = None
    try:
        if scheduler is not None:
            from distributed import Client

            client = Client(scheduler)
        result = _sweep.run(line.sweep_request(), client, jobs=line.jobs,
                            progress=not line.quiet and sys.stderr.isatty(), quiet_warnings=line.quiet_warnings)
    except ValueError as e:
        _say(e)
        return EXIT_USAGE
    except KeyboardInterrupt as e:
        _say(e if isinstance(e, _sweep.SweepInterrupted) else "interrupted")
        return 128 + stopped_by[-1]
    except (RuntimeError, OSError) as e:
        _say(e)
        return EXIT_FAILED
    finally:
        if client is not None:
            client.close()
    print(f"{len(result.files)} files and their manifest in {result.folder}", flush=True)
    if result.clipping_warning is not None and line.strict:
        return EXIT_CLIPPED
    return 0


if __name__ == "__main__":
    sys.exit(main())
