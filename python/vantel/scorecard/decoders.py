"""Decoders under test: commands, the multimon-ng adapter, Python callables.

Whatever goes wrong with a decoder on a file (missing, crashed, hung,
printed something that is not text) is that file's Outcome with a one-line
reason, never an exception: the file counts as copied as nothing, and the
run goes on.
"""

import os
import re
import shlex
import signal
import subprocess
import threading
import time
from dataclasses import dataclass

import numpy as np

# Characters a decoder's text may hold besides printable ones.
_CONTROL = re.compile(r"[\x00-\x08\x0b\x0c\x0e-\x1f\x7f]")
_PLACEHOLDER = re.compile(r"\{[^{}]*\}")
_NAME = re.compile(r"[A-Za-z0-9][A-Za-z0-9_.+-]*")


@dataclass(frozen=True)
class Outcome:
    """A decoder's copy of one file: its text, or why there is none."""

    text: str
    failure: str = None
    seconds: float = 0.0


class DecoderError(ValueError):
    """A decoder that cannot be run at all as given."""


class LiveProcesses:
    """The decoders' processes running now, so that Ctrl-C can end them."""

    def __init__(self):
        self._lock = threading.Lock()
        self._running = set()
        self.stopping = False

    def add(self, process):
        with self._lock:
            self._running.add(process)
            stopping = self.stopping
        if stopping:
            _kill(process)

    def remove(self, process):
        with self._lock:
            self._running.discard(process)

    def stop_all(self):
        with self._lock:
            self.stopping = True
            running = list(self._running)
        for process in running:
            _kill(process)


def _kill(process):
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass


def _text_of(output):
    try:
        text = output.decode("utf-8")
    except UnicodeDecodeError as error:
        return None, f"printed non-text (byte 0x{output[error.start]:02x} at {error.start} is not UTF-8)"
    bad = _CONTROL.search(text)
    if bad:
        return None, f"printed non-text (control character 0x{ord(bad.group()):02x} at {bad.start()})"
    return text, None


def _last_line(data):
    lines = data.decode("utf-8", "replace").strip().splitlines()
    return f": {lines[-1].strip()[:160]}" if lines else ""


def run_pipeline(commands, path, timeout, live):
    """Runs `commands` (argument lists) as a pipeline, the file at `path`
    on the first one's standard input when `path` is not None; the Outcome
    is the last one's standard output."""
    started, processes = time.monotonic(), []
    try:
        stdin = open(path, "rb") if path is not None else subprocess.DEVNULL
    except OSError as error:
        return Outcome("", f"cannot read {path}: {error.strerror}")
    try:
        for argv in commands:
            process = subprocess.Popen(argv, stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                       start_new_session=True)
            processes.append(process)
            live.add(process)
            if stdin is not subprocess.DEVNULL:
                stdin.close()  # the process has its own copy; the next one's end of the pipe is ours
            stdin = process.stdout
    except OSError as error:
        if stdin is not subprocess.DEVNULL:
            stdin.close()
        _stop(processes, live)
        program = commands[len(processes)][0]
        reason = ("is not installed or not on the PATH" if isinstance(error, FileNotFoundError)
                  else f"cannot be started: {error.strerror}")
        return Outcome("", f"{program} {reason}", time.monotonic() - started)
    return _collect(processes, timeout, started, live)


def _stop(processes, live):
    for process in processes:
        _kill(process)
        process.wait()
        live.remove(process)


def _collect(processes, timeout, started, live):
    last = processes[-1]
    try:
        output, error_output = last.communicate(timeout=timeout)
        for process in processes[:-1]:
            process.wait(timeout=max(0.1, timeout - (time.monotonic() - started)))
    except subprocess.TimeoutExpired:
        _stop(processes, live)
        return Outcome("", f"gave no answer within {timeout:g} s (stopped)", time.monotonic() - started)
    finally:
        for process in processes:
            live.remove(process)
    seconds = time.monotonic() - started
    if live.stopping:
        return Outcome("", "stopped by Ctrl-C", seconds)
    for process in processes:
        if process.returncode != 0:
            stderr = error_output if process is last else process.stderr.read()
            return Outcome("", f"{_how_it_ended(process.returncode)}{_last_line(stderr)}", seconds)
    text, failure = _text_of(output)
    return Outcome(text or "", failure, seconds)


def _how_it_ended(status):
    if status < 0:
        try:
            return f"killed by {signal.Signals(-status).name}"
        except ValueError:
            return f"killed by signal {-status}"
    return f"exited with status {status}"


class CommandDecoder:
    """A command template: the file's path in place of {wav}, or the WAV on
    standard input when there is no {wav}; the text on standard output."""

    needs_file = True

    def __init__(self, name, template):
        self.name, self.template = name, template
        try:
            self.argv = shlex.split(template)
        except ValueError as error:
            raise DecoderError(f"decoder {name}: cannot read the command {template!r}: {error}") from None
        if not self.argv:
            raise DecoderError(f"decoder {name}: the command is empty")
        for argument in self.argv:
            for placeholder in _PLACEHOLDER.findall(argument):
                if placeholder != "{wav}":
                    raise DecoderError(f"decoder {name}: unknown placeholder {placeholder} in the command "
                                       "(only {wav}, the file's path, is filled in)")
        self.by_stdin = not any("{wav}" in argument for argument in self.argv)

    def decode(self, path, clip, timeout, live):
        argv = [argument.replace("{wav}", path) for argument in self.argv]
        return run_pipeline([argv], path if self.by_stdin else None, timeout, live)

    def describe(self):
        return self.template


class MultimonDecoder:
    """multimon-ng's MORSE_CW demodulator, which takes raw 16-bit samples at
    22050 Hz: sox resamples the file (-R: its dither repeatable, so that a
    run gives the same copy every time), and half a second of silence after
    it lets the demodulator finish its last character."""

    needs_file = True
    name = "multimon-ng"
    RATE = 22050

    def __init__(self, name="multimon-ng"):
        self.name = name
        self.commands = [
            ["sox", "-q", "-R", "-V1", "{wav}", "-t", "raw", "-r", str(self.RATE), "-e", "signed-integer", "-b", "16",
             "-c", "1", "-L", "-", "pad", "0", "0.5"],
            ["multimon-ng", "-q", "-c", "-a", "MORSE_CW", "-t", "raw", "-"],
        ]

    def decode(self, path, clip, timeout, live):
        commands = [[argument.replace("{wav}", path) for argument in argv] for argv in self.commands]
        outcome = run_pipeline(commands, None, timeout, live)
        # It ends each transmission with a line break: a gap, not a character.
        return Outcome(" ".join(outcome.text.split()), outcome.failure, outcome.seconds)

    def describe(self):
        return " | ".join(shlex.join(argv) for argv in self.commands)


class CallableDecoder:
    """A Python callable (samples, rate) -> text; samples float32 in [-1, 1).
    A call past the timeout is abandoned (Python cannot stop a thread) and
    the file counted as failed."""

    needs_file = False

    def __init__(self, name, function):
        self.name, self.function = name, function

    def decode(self, path, clip, timeout, live):
        samples, rate = clip
        result, started = {}, time.monotonic()

        def call():
            try:
                result["value"] = self.function(samples, rate)
            except BaseException as error:  # the decoder's failure, reported as the file's
                result["error"] = error

        worker = threading.Thread(target=call, daemon=True)
        worker.start()
        worker.join(timeout)
        seconds = time.monotonic() - started
        if worker.is_alive():
            return Outcome("", f"gave no answer within {timeout:g} s (abandoned)", seconds)
        if "error" in result:
            error = result["error"]
            return Outcome("", f"raised {type(error).__name__}: {str(error)[:160]}", seconds)
        value = result["value"]
        if not isinstance(value, str):
            return Outcome("", f"returned {type(value).__name__}, not text", seconds)
        _, failure = _text_of(value.encode("utf-8", "surrogatepass"))
        return Outcome(value if failure is None else "", failure, seconds)

    def describe(self):
        return getattr(self.function, "__qualname__", repr(self.function))


def make(name, how):
    """A decoder from a name and a command template, "multimon-ng" or a
    callable."""
    if not isinstance(name, str) or not _NAME.fullmatch(name):
        raise DecoderError(f"decoder name {name!r}: use letters, digits and . _ + - (such as \"my-decoder\")")
    if callable(how):
        return CallableDecoder(name, how)
    if not isinstance(how, str):
        raise DecoderError(f"decoder {name}: give a command template or a callable, not {type(how).__name__}")
    if how == "multimon-ng":
        return MultimonDecoder(name)
    return CommandDecoder(name, how)


def parse_option(text):
    """`NAME=COMMAND {wav}` or `multimon-ng`, as --decoder takes it."""
    if text == "multimon-ng":
        return make("multimon-ng", "multimon-ng")
    name, equals, command = text.partition("=")
    if not equals:
        raise DecoderError(f"--decoder {text!r}: give NAME='COMMAND {{wav}}' (or multimon-ng)")
    return make(name.strip(), command)


def as_float(samples):
    return np.asarray(samples, dtype=np.float32) * np.float32(1 / 32768)
