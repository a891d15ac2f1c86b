"""Running a suite: each file made (or taken from the cache), given to every
decoder, and scored, here on `jobs` threads or on a Dask cluster."""

import json
import os
import queue
import shutil
import sys
import tempfile
import threading
import time
import wave
from dataclasses import dataclass

import numpy as np

from .. import _options, _vantel
from .._clip import Clip
from . import results
from .decoders import LiveProcesses, Outcome, as_float
from .scoring import compare


@dataclass
class FileRun:
    """One file of a suite, copied by every decoder."""

    index: int
    reference: str
    seconds: float  # the audio's length
    overhead_seconds: float  # making (or reading) the file and scoring the copies
    outcomes: dict  # decoder name -> (Outcome, Score)
    clipping: str = None  # the engine's warning when samples were clipped


def _read_wav(path):
    with wave.open(path, "rb") as file:
        return np.frombuffer(file.readframes(file.getnframes()), dtype="<i2"), file.getframerate()


def _from_cache(folder, suite_file, needs_samples):
    """(reference, seconds, samples, rate, path, clipping) of a cached
    file, or None."""
    path = os.path.join(folder, suite_file.name)
    try:
        with open(path + ".json", encoding="utf-8") as file:
            known = json.load(file)
        if known["options"] != suite_file.options or not os.path.isfile(path):
            return None
        samples, rate = _read_wav(path) if needs_samples else (None, known["rate"])
        return known["reference"], known["seconds"], samples, rate, path, known["clipping"]
    except (OSError, ValueError, KeyError, TypeError, wave.Error, EOFError):
        return None  # made again


def _made(suite_file, folder, sidecar):
    made = _vantel.render_clip(_options.file_request(suite_file.options), suite_file.index, suite_file.name)
    clip, clipping = Clip(made), made["clipping_warning"]
    reference, path = clip.settings["message_encoded"], None
    if folder is not None:
        path = os.path.join(folder, suite_file.name)
        clip.save(path)
        if sidecar:
            results.write_whole(path + ".json", json.dumps(dict(options=suite_file.options, reference=reference,
                                                                seconds=clip.duration, rate=clip.rate,
                                                                clipping=clipping)))
    return reference, clip.duration, clip.samples, clip.rate, path, clipping


def _scratch_copy(folder, name, samples, rate):
    """The file save() writes, without save()'s care for a file meant to
    last (a rename, a flush to disk): it is read once and removed."""
    path = os.path.join(folder, name)
    with open(path, "wb") as file:
        file.write(_vantel.wav_header(rate, len(samples)))
        file.write(np.asarray(samples, dtype="<i2").tobytes())
    return path


def run_file(suite_file, decoders, timeout, cache=None, live=None, scratch=None):
    """The FileRun of one file: made, or read from `cache` (a folder), then
    copied by each decoder in turn and scored. Without a cache, the decoders
    that take a file get it in `scratch` (a folder; a new one when None)."""
    live = live or LiveProcesses()
    started = time.perf_counter()
    needs_file = any(d.needs_file for d in decoders)
    needs_samples = any(not d.needs_file for d in decoders)
    own_scratch = path = None
    try:
        found = _from_cache(cache, suite_file, needs_samples) if cache else None
        if found is None:
            found = _made(suite_file, cache, sidecar=True)
        reference, seconds, samples, rate, path, clipping = found
        if path is None and needs_file:
            if scratch is None:
                scratch = own_scratch = tempfile.mkdtemp(prefix="vantel-score-")
            path = _scratch_copy(scratch, suite_file.name, samples, rate)
        clip = (as_float(samples), rate) if needs_samples else None
        outcomes, decoding = {}, 0.0
        for decoder in decoders:
            outcome = decoder.decode(path, clip, timeout, live) if not live.stopping else Outcome("", "stopped")
            outcomes[decoder.name] = (outcome, compare(reference, outcome.text))
            decoding += outcome.seconds
    finally:
        if own_scratch:
            shutil.rmtree(own_scratch, ignore_errors=True)
        elif scratch and path and not cache:
            os.unlink(path)
    return FileRun(suite_file.index, reference, seconds, time.perf_counter() - started - decoding, outcomes,
                   clipping)


class Progress:
    """files done, elapsed and time left, on one line of standard error."""

    def __init__(self, total, show):
        self.total, self.show, self.done = total, show, 0
        self.started = self.shown = time.monotonic()

    def step(self):
        self.done += 1
        now = time.monotonic()
        if self.show and (now - self.shown >= 0.1 or self.done == self.total):
            self.shown = now
            elapsed = now - self.started
            left = elapsed / self.done * (self.total - self.done)
            filled = self.done * 30 // max(1, self.total)
            sys.stderr.write(f"\r[{'#' * filled}{'.' * (30 - filled)}] {self.done}/{self.total} files  "
                             f"{_clock(elapsed)} elapsed  {_clock(left)} left ")
            sys.stderr.flush()

    def finish(self):
        if self.show and self.done:
            sys.stderr.write("\n")
            sys.stderr.flush()


def _clock(seconds):
    seconds = int(seconds)
    return f"{seconds // 3600}:{seconds // 60 % 60:02d}:{seconds % 60:02d}" if seconds >= 3600 else \
        f"{seconds // 60}:{seconds % 60:02d}"


def run_here(files, decoders, timeout, cache, jobs, took):
    """Runs the files on `jobs` threads (the engine and the decoders'
    processes run outside the GIL), calling took(FileRun) as each ends. On
    Ctrl-C the decoders' processes are ended and KeyboardInterrupt raised;
    files still running are not reported."""
    live, pending, done = LiveProcesses(), queue.SimpleQueue(), queue.SimpleQueue()
    for suite_file in files:
        pending.put(suite_file)

    scratch = tempfile.mkdtemp(prefix="vantel-score-")

    def work():
        while not live.stopping:
            try:
                suite_file = pending.get_nowait()
            except queue.Empty:
                return
            try:
                done.put(run_file(suite_file, decoders, timeout, cache, live, scratch))
            except BaseException as error:  # reported in the main thread
                done.put(error)
                return

    # Daemon threads: a callable decoder that never returns must not hold
    # the program open after Ctrl-C.
    workers = [threading.Thread(target=work, daemon=True) for _ in range(max(1, min(jobs, len(files))))]
    for worker in workers:
        worker.start()
    try:
        for _ in range(len(files)):
            result = done.get()
            if isinstance(result, BaseException):
                raise result
            took(result)
    except BaseException:
        live.stop_all()
        raise
    finally:
        # A file a stopped worker is still writing may be left: the folder goes.
        shutil.rmtree(scratch, ignore_errors=True)


def run_on_cluster(files, decoders, timeout, cache, client, took):
    """The same on a dask.distributed cluster: one task per file."""
    from distributed import as_completed

    futures = [client.submit(run_file, f, decoders, timeout, cache, pure=False) for f in files]
    try:
        for future in as_completed(futures):
            took(future.result())
    except BaseException:
        client.cancel(futures)
        raise
