"""Decoder test sets: vantel-gen --sweep, in this process or on a Dask cluster."""

import os
import sys
import time
import types
import uuid
import warnings
from dataclasses import dataclass

from . import _options, _signature, _vantel
from ._clip import VantelWarning

# How often a file's run on a cluster worker asks whether the sweep stopped:
# each look is a round trip to the scheduler.
_STOP_LOOK_SECONDS = 0.2


class SweepInterrupted(KeyboardInterrupt):
    """A sweep stopped by Ctrl-C: the folder holds the complete files and a
    manifest listing exactly them. The text says how many."""


@dataclass
class SweepResult:
    folder: str
    files: list  # the files written, in file order
    clipping_warning: object = None  # vantel-gen's summary line, or None


def sweep(out_dir, client=None, *, progress=None, **options):
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
    """
    _signature.SWEEP.check(options)
    options = dict(options)
    jobs = options.pop("jobs", None)
    quiet_warnings = bool(options.pop("quiet_warnings", False))
    request = sweep_request(out_dir, options, options.pop("messages", None))
    return run(request, client, jobs=jobs, progress=progress, quiet_warnings=quiet_warnings, stacklevel=2)


_signature.SWEEP.describe(sweep, returns=SweepResult, annotations=_signature.SWEEP_OWN_TYPES)


def sweep_request(out_dir, options, messages=None):
    """The _vantel.SweepRequest for sweep()'s keywords: a list or a text in
    the sweep syntax for the options a sweep varies, one value for the
    others; `messages` a list of messages or the name of a file of them."""
    axes, base = {}, {}
    for keyword, value in options.items():
        _options.check_keyword(keyword)
        several = _signature.is_several(value)
        if several and keyword not in _options.SWEEP_AXES:
            varied = ", ".join(_options.keyword_of(name) for name in _vantel.SWEEP_AXES)
            raise TypeError(f"{keyword}= takes one value: a sweep varies only {varied}")
        if several:
            axes[keyword] = [_options.value_text(keyword, v) for v in value]
            if not axes[keyword]:
                raise ValueError(f"{keyword}= is an empty list")
        elif keyword in _options.SWEEP_AXES and value is not None and not isinstance(value, bool):
            axes[keyword] = _options.value_text(keyword, value)
        else:
            base[keyword] = value
    if messages is None:
        texts = None
    elif isinstance(messages, (str, bytes, os.PathLike)):
        texts = _vantel.read_messages(os.fspath(messages))
    else:
        texts = [_options.value_text("messages", m) for m in messages]
        if not texts:
            raise ValueError("messages= is an empty list: give at least one message")
    return _vantel.SweepRequest(os.fspath(out_dir), _options.request_texts(base), axes, texts)


def run(request, client=None, jobs=None, progress=None, quiet_warnings=False, stacklevel=1):
    """The sweep for a _vantel.SweepRequest. `progress`: vantel-gen's progress
    line on standard error; None: when standard error is a terminal."""
    plan = _vantel.plan_sweep(request)
    if not quiet_warnings:
        for line in plan.loose_text_warnings():
            warnings.warn(line, VantelWarning, stacklevel=stacklevel + 1)
    if progress is None:
        progress = _stderr_is_a_terminal()
    if client is None:
        outcome = plan.run_local(jobs or os.cpu_count() or 1, bool(progress))
        written, error, interrupted = outcome["files_written"], outcome["error"], outcome["interrupted"]
        clipping = outcome["clipping_warning"]
        files = _listed_files(plan)
    else:
        files, error, interrupted, clipping = _on_cluster(plan, client, bool(progress))
        written = len(files)
    listed = f"{written} of {len(plan)} files complete, listed in {os.path.join(plan.folder, _vantel.MANIFEST_CSV)}"
    if error:
        raise RuntimeError(f"{error} ({listed})")
    if interrupted:
        raise SweepInterrupted(f"interrupted: {listed}")
    if clipping is not None:
        warnings.warn(clipping, VantelWarning, stacklevel=stacklevel + 1)
    return SweepResult(plan.folder, files, clipping)


def _stderr_is_a_terminal():
    """vantel-gen's rule for its progress line. The line is written to the
    process's standard error, so both it and Python's must be a terminal (in
    a notebook, Python's is not)."""
    try:
        return sys.stderr.isatty() and os.isatty(2)
    except (AttributeError, ValueError, OSError):  # no sys.stderr, or a closed one
        return False


def _listed_files(plan):
    # The folder held none of the sweep's files before it (check_output_folder),
    # and holds only complete ones after it.
    return [n for n in plan.names if os.path.lexists(os.path.join(plan.folder, n))]


def _sweep_token():
    """What marks one distributed sweep's temporaries."""
    return uuid.uuid4().hex


def _make_file(task, folder, stop_event, token):
    """A cluster task: the task's file, complete or not at all. What the
    engine's per-file step returns (its manifest lines and clipping counts),
    or None when the sweep stopped before it was done."""
    from distributed import Event

    event = Event(stop_event)
    next_look = 0.0

    def stop():
        nonlocal next_look
        now = time.monotonic()
        if now < next_look:
            return False
        next_look = now + _STOP_LOOK_SECONDS
        return event.is_set()

    return _vantel.make_sweep_file(task, folder, token, stop)


def _vantel_on_this_worker():
    """("version", vantel's version) where `import vantel` works, or
    ("error", why it does not)."""
    try:
        import vantel
    except Exception as error:
        return "error", f"{type(error).__name__}: {error}"
    return "version", vantel.__version__


# Sent to the workers by value: a function of this module goes by reference,
# and a worker without vantel could not even unpickle it. Its module's name
# can never be imported, so the function travels whole.
_VANTEL_ON_THIS_WORKER = types.FunctionType(_vantel_on_this_worker.__code__, {"__name__": "vantel-worker-check"},
                                            "vantel_on_this_worker")


def _grouped(by_worker):
    """{worker: text} as [(text, [its workers]), ...]."""
    workers_of = {}
    for worker, text in sorted(by_worker.items()):
        workers_of.setdefault(text, []).append(worker)
    return list(workers_of.items())


def _check_workers(client):
    """RuntimeError, in one line, naming every worker that cannot make the
    files this process would: without vantel, or with another version of it
    (which may write other bytes)."""
    found = client.run(_VANTEL_ON_THIS_WORKER)
    missing = {w: why for w, (kind, why) in found.items() if kind == "error"}
    other = {w: version for w, (kind, version) in found.items() if kind == "version" and version != _vantel.VERSION}
    problems = [f"vantel cannot be imported on {', '.join(workers)} ({why})" for why, workers in _grouped(missing)]
    problems += [f"{', '.join(workers)} {'has' if len(workers) == 1 else 'have'} vantel {version}, not "
                 f"{_vantel.VERSION} as here" for version, workers in _grouped(other)]
    if problems:
        raise RuntimeError("; ".join(problems) + f": install the vantel {_vantel.VERSION} wheel on these workers of "
                           "the cluster (every file must be made by the same vantel), then run the sweep again")


class _ClusterRun:
    """What a distributed sweep has come to: the rows of the complete files
    (index -> what make_file returned), the first failure, whether it was
    stopped, and the progress line that shows it."""

    def __init__(self, progress):
        self.lines = {}
        self.error = ""
        self.interrupted = False
        self.progress = progress

    def took(self, index, made):
        self.lines[index] = made
        self.progress.show(len(self.lines))

    def failed(self, error):
        # After Ctrl-C, what goes wrong on the cluster is the stop's doing
        # (a terminal signals the workers too), not a failure of the sweep.
        if not self.error and not self.interrupted:
            self.error = error


def _on_cluster(plan, client, progress):
    """Runs every file as a task, at most a few per worker thread at a time,
    so that a stop leaves little to wait for: what has not been handed out is
    never state, and what runs sees the stop within a fraction of a second.

    The folder is held by this process for the whole sweep. At the end, come
    what may (Ctrl-C, workers killed with it, a cluster that went away), the
    temporaries that dead workers left are removed, a file that is complete
    but whose row never came back (its worker died before reporting) gets its
    row made here, and the manifest lists exactly the complete files.

    Before anything is written, every worker is asked which vantel it has
    (RuntimeError when one has none or another version)."""
    _check_workers(client)
    held = plan.hold_folder()
    try:
        token = _sweep_token()
        state = _ClusterRun(_vantel.ProgressLine(len(plan), progress))
        state.progress.show(0)
        try:
            _run_tasks(plan, client, token, state)
        except KeyboardInterrupt:
            state.interrupted = True
        except Exception as failure:
            state.failed(f"the cluster failed: {type(failure).__name__}: {failure}")
        _tell_workers_to_stop(client, token)
        left = held.remove_temporaries(token)
        for index, name in enumerate(plan.names):
            if index not in state.lines and os.path.lexists(os.path.join(plan.folder, name)):
                state.took(index, plan.file_row(index))
        state.progress.end(len(state.lines))
        made = [state.lines[index] for index in sorted(state.lines)]
        plan.write_manifest(held, made)
        if left:
            state.failed("temporaries of workers that died could not be removed: " + ", ".join(left))
    finally:
        held.release()
    return [m[1] for m in made], state.error, state.interrupted and not state.error, plan.clipping_warning(made)


def _tell_workers_to_stop(client, token):
    from distributed import Event

    try:
        Event("vantel-sweep-" + token, client=client).set()
    except Exception:  # a cluster that is gone runs nothing any more
        pass


def _run_tasks(plan, client, token, state):
    """Hands the files out and takes their rows into `run` as they come."""
    from distributed import Event, as_completed, wait

    stop_name = "vantel-sweep-" + token
    stop_event = Event(stop_name, client=client)
    folder = os.path.abspath(plan.folder)  # the workers' current folder is not ours
    total = len(plan)
    in_flight = max(2, 2 * sum(client.nthreads().values()))
    futures = {}  # index -> future, until its outcome is taken
    index_of = {}  # a task's key -> its file's index
    handed_out = 0
    done = as_completed()

    def hand_out():
        nonlocal handed_out
        future = client.submit(_make_file, plan.task(handed_out), folder, stop_name, token, pure=False,
                               key=f"{stop_name}-{handed_out}")
        index_of[future.key] = handed_out
        futures[handed_out] = future
        done.add(future)
        handed_out += 1

    def take(index, future):
        if future.status == "finished":
            made = future.result()
            if made is not None:
                state.took(index, made)
        else:
            cause = future.exception() if future.status == "error" else "the task was cancelled"
            state.failed(f"{plan.names[index]}: {cause}")
        del futures[index]

    try:
        while handed_out < min(in_flight, total):
            hand_out()
        for future in done:
            take(index_of[future.key], future)
            if state.error:
                break
            if handed_out < total:
                hand_out()
    except KeyboardInterrupt:
        state.interrupted = True
    stop_event.set()
    # What was handed out ends soon: finished, stopped, or failed. Like the
    # command, a second Ctrl-C does not cut this short, so that the manifest
    # still lists every complete file. Only when no worker is left to finish
    # anything (a terminal's Ctrl-C signals a LocalCluster's workers too) does
    # the wait end: what they finished is found on disk, what they left half
    # made is removed.
    while futures:
        try:
            wait(list(futures.values()), timeout=_STOP_LOOK_SECONDS)
        except KeyboardInterrupt:
            state.interrupted = True
            continue
        except Exception:
            if not _workers_alive(client):
                if not state.interrupted:
                    raise RuntimeError("every worker of the cluster is gone") from None
                return
            continue
        for index, future in sorted(futures.items()):
            take(index, future)


def _workers_alive(client):
    try:
        return bool(client.scheduler_info().get("workers"))
    except Exception:
        return False
