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
    writes for the same options (keywords as for generate(); --snr, --wpm
    and --tone also take a list or a sweep text such as "-20:10:2").

    With a dask.distributed Client each file is one task on the cluster's
    workers, which must see `out_dir` at the same path; without one the
    sweep runs here with vantel-gen's own workers (jobs= of them).

    ValueError (vantel-gen's message) before anything is written; on a
    failing file RuntimeError naming it and the cause; on Ctrl-C
    SweepInterrupted. Either way the folder then holds only complete files
    and a manifest listing exactly them.
    """
    _options.refuse(options, _NOT_FOR_SWEEP, "is not for a sweep: the folder is the first argument")
    args = ["--sweep", "-o", os.fspath(out_dir)] + _options.arguments(options, lists=True)
    return run(args, client, stacklevel=2)


def run(args, client=None, progress=False, stacklevel=1):
    """The sweep for vantel-gen's argument list `args` (with --sweep)."""
    plan = _vantel.plan_sweep(args)
    options = plan.options
    if not options.quiet_warnings:
        for line in plan.loose_text_warnings():
            warnings.warn(line, VantelWarning, stacklevel=stacklevel + 1)
    plan.check_output_folder()
    if client is None:
        jobs = options.jobs or os.cpu_count() or 1
        outcome = _vantel.run_sweep_local(plan, jobs, progress)
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


def _make_file(plan, index, stop_event):
    """A cluster task: file `index` of the sweep, complete or not at all.
    Its manifest lines and clipping counts, or None when the sweep stopped
    before it was done."""
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

    return plan.make_file(index, stop)


def _on_cluster(plan, client):
    """Runs every file as a task, at most a few per worker thread at a time,
    so that a stop leaves little to wait for: what has not been handed out is
    never run, and what runs sees the stop within a fraction of a second.
    Writes the manifest of the complete files in file order at the end."""
    from distributed import Event, as_completed, wait

    os.makedirs(plan.folder, exist_ok=True)
    stop_name = "vantel-sweep-" + uuid.uuid4().hex
    stop_event = Event(stop_name, client=client)
    shared = client.scatter(plan, broadcast=True, hash=False)
    total = len(plan)
    in_flight = max(2, 2 * sum(client.nthreads().values()))
    futures = {}  # index -> future, until its outcome is taken
    index_of = {}  # a task's key -> its file's index
    lines = {}  # index -> what make_file returned, for complete files
    error = ""
    interrupted = False
    handed_out = 0
    done = as_completed()

    def hand_out():
        nonlocal handed_out
        future = client.submit(_make_file, shared, handed_out, stop_name, pure=False,
                               key=f"{stop_name}-{handed_out}")
        index_of[future.key] = handed_out
        futures[handed_out] = future
        done.add(future)
        handed_out += 1

    def take(index, future):
        nonlocal error
        if future.status == "finished":
            made = future.result()
            if made is not None:
                lines[index] = made
        elif not error:
            cause = future.exception() if future.status == "error" else "the task was cancelled"
            error = f"{plan.names[index]}: {cause}"
        del futures[index]

    try:
        while handed_out < min(in_flight, total):
            hand_out()
        for future in done:
            take(index_of[future.key], future)
            if error:
                break
            if handed_out < total:
                hand_out()
    except KeyboardInterrupt:
        interrupted = True
    stop_event.set()
    # What was handed out ends soon: finished, stopped, or failed. Like the
    # command, a second Ctrl-C does not cut this short, so that the manifest
    # still lists every complete file.
    while True:
        try:
            wait(list(futures.values()))
            for index, future in sorted(futures.items()):
                take(index, future)
            break
        except KeyboardInterrupt:
            interrupted = True
    client.cancel(shared)
    _write_manifest(plan.folder, lines)
    files, clipping = _clipping_summary(plan, lines)
    return files, error, interrupted and not error, clipping


def _write_manifest(folder, lines):
    """manifest.csv and manifest.jsonl for the files in `lines`, in file order,
    each written under a temporary name and then given its own, as
    vantel-gen's manifest writer does."""
    suffix = f".partial-{os.getpid()}"
    csv_path = os.path.join(folder, _vantel.MANIFEST_CSV)
    json_path = os.path.join(folder, _vantel.MANIFEST_JSONL)
    made = []  # only these are ours to remove: a name not opened may be something else's
    try:
        with open(csv_path + suffix, "wb") as csv:
            made.append(csv_path + suffix)
            with open(json_path + suffix, "wb") as json:
                made.append(json_path + suffix)
                csv.write(_vantel.csv_header() + b"\n")
                for index in sorted(lines):
                    csv.write(lines[index][0] + b"\n")
                    json.write(lines[index][1] + b"\n")
        os.replace(csv_path + suffix, csv_path)
        os.replace(json_path + suffix, json_path)
    except OSError:
        for temporary in made:
            try:
                os.remove(temporary)
            except FileNotFoundError:
                pass
        raise OSError(f"Cannot write the manifest in {folder}") from None


def _clipping_summary(plan, lines):
    files, clipped, worst_share, worst_file = [], 0, 0.0, ""
    for index in sorted(lines):
        files.append(plan.names[index])
        clipped_samples, samples = lines[index][2], lines[index][3]
        if clipped_samples > 0:
            clipped += 1
            share = clipped_samples / samples
            if share > worst_share:  # among equal shares, the first file
                worst_share, worst_file = share, plan.names[index]
    return files, _vantel.sweep_clipping_warning(plan, len(files), clipped, worst_share, worst_file)
