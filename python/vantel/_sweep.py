"""Decoder test sets: vantel-gen --sweep, in this process or on a Dask cluster."""

import os
import time
import uuid
import warnings
from dataclasses import dataclass

from . import _options, _vantel
from ._clip import VantelWarning

# Options a sweep takes from elsewhere: the folder is sweep()'s first argument.
_NOT_FOR_SWEEP = frozenset({"output", "o", "sweep", "help", "h", "version"})

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


def sweep(out_dir, client=None, **options):
    """Writes exactly the files and manifest `vantel-gen --sweep -o out_dir`
    writes for the same options (keywords as for generate(); --snr, --wpm,
    --tone and the band options also take a list of values or a sweep text
    such as "-20:10:2"; messages= a list of messages or the name of a file
    with one per line; jobs= the files made at once here).

    With a dask.distributed Client each file is one task on the cluster's
    workers, which must see `out_dir` at the same path; without one the
    sweep runs here with vantel-gen's own workers (jobs= of them).

    ValueError (vantel-gen's message) before anything is written; on a
    failing file RuntimeError naming it and the cause; on Ctrl-C
    SweepInterrupted. Either way the folder then holds only complete files
    and a manifest listing exactly them.
    """
    _options.refuse(options, _NOT_FOR_SWEEP, "is not for a sweep: the folder is the first argument")
    options = dict(options)
    jobs = options.pop("jobs", None)
    quiet_warnings = bool(options.pop("quiet_warnings", False))
    options.pop("quiet", None)  # progress is the command's; here there is none
    request = sweep_request(out_dir, options, options.pop("messages", None))
    return run(request, client, jobs=jobs, quiet_warnings=quiet_warnings, stacklevel=2)


def sweep_request(out_dir, options, messages=None):
    """The _vantel.SweepRequest for sweep()'s keywords: a list or a text in
    the sweep syntax for the options a sweep varies, one value for the
    others."""
    axes, base = {}, {}
    for keyword, value in options.items():
        _options.check_keyword(keyword)
        if keyword in _options.SWEEP_AXES and isinstance(value, (list, tuple)):
            if not value:
                raise ValueError(f"{keyword}= is an empty list")
            axes[keyword] = [_options.value_text(keyword, v) for v in value]
        elif keyword in _options.SWEEP_AXES and value is not None and not isinstance(value, bool):
            axes[keyword] = _options.value_text(keyword, value)
        else:
            base[keyword] = value
    if messages is None or isinstance(messages, (list, tuple)):
        texts = None if messages is None else [_options.value_text("messages", m) for m in messages]
    else:
        texts = _vantel.read_messages(os.fspath(messages))
    return _vantel.SweepRequest(os.fspath(out_dir), _options.request_texts(base), axes, texts)


def run(request, client=None, jobs=None, progress=False, quiet_warnings=False, stacklevel=1):
    """The sweep for a _vantel.SweepRequest."""
    plan = _vantel.plan_sweep(request)
    if not quiet_warnings:
        for line in plan.loose_text_warnings():
            warnings.warn(line, VantelWarning, stacklevel=stacklevel + 1)
    if client is None:
        outcome = plan.run_local(jobs or os.cpu_count() or 1, progress)
        written, error, interrupted = outcome["files_written"], outcome["error"], outcome["interrupted"]
        clipping = outcome["clipping_warning"]
        files = _listed_files(plan)
    else:
        files, error, interrupted, clipping = _on_cluster(plan, client)
        written = len(files)
    listed = f"{written} of {len(plan)} files complete, listed in {os.path.join(plan.folder, _vantel.MANIFEST_CSV)}"
    if error:
        raise RuntimeError(f"{error} ({listed})")
    if interrupted:
        raise SweepInterrupted(f"interrupted: {listed}")
    if clipping is not None:
        warnings.warn(clipping, VantelWarning, stacklevel=stacklevel + 1)
    return SweepResult(plan.folder, files, clipping)


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


class _ClusterRun:
    """What a distributed sweep has come to: the rows of the complete files
    (index -> what make_file returned), the first failure, and whether it
    was stopped."""

    def __init__(self):
        self.lines = {}
        self.error = ""
        self.interrupted = False

    def failed(self, error):
        # After Ctrl-C, what goes wrong on the cluster is the stop's doing
        # (a terminal signals the workers too), not a failure of the sweep.
        if not self.error and not self.interrupted:
            self.error = error


def _on_cluster(plan, client):
    """Runs every file as a task, at most a few per worker thread at a time,
    so that a stop leaves little to wait for: what has not been handed out is
    never state, and what runs sees the stop within a fraction of a second.

    The folder is held by this process for the whole sweep. At the end, come
    what may (Ctrl-C, workers killed with it, a cluster that went away), the
    temporaries that dead workers left are removed, a file that is complete
    but whose row never came back (its worker died before reporting) gets its
    row made here, and the manifest lists exactly the complete files."""
    held = plan.hold_folder()
    try:
        token = _sweep_token()
        state = _ClusterRun()
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
                state.lines[index] = plan.file_row(index)
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
                state.lines[index] = made
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
