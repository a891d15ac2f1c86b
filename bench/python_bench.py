#!/usr/bin/python3
"""Speed of the Python module, measured side by side (run by hand):

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py [ROUNDS]

1. Training clips of about 2 s at 12 kHz through vantel.data.MorseStream:
   clips per second in this process, then through a torch DataLoader with
   2 workers, and per core.
2. One 30 s clip: vantel.generate() (and generate() + save()) against the
   vantel-gen command writing the same file, interleaved, best of ROUNDS.
"""

import os
import pathlib
import subprocess
import sys
import tempfile
import time
import warnings

import vantel
from vantel.data import MorseStream

ROOT = pathlib.Path(__file__).resolve().parents[1]
GEN = os.environ.get("VANTEL_GEN", str(ROOT / "build" / "apps" / "vantel-gen" / "vantel-gen"))
ROUNDS = int(sys.argv[1]) if len(sys.argv) > 1 else 15

# PARIS at 30 WPM is about 2 s; the S/N varies from clip to clip.
TRAINING = {"wpm": 30, "rate": 12000, "snr": "-10:10:2", "level": "auto"}
LONG = {"message": "CQ CQ DE VANTEL VANTEL K", "wpm": 8, "rate": 12000, "snr": 6, "level": "auto"}


def best(run, rounds):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times)


def clips_per_second(clips, rounds=3):
    stream = MorseStream(TRAINING, messages="paris", seed=1, length=clips)
    seconds = sum(len(stream[k].samples) for k in range(20)) / 20 / 12000

    def one_process():
        for _ in stream:
            pass

    return seconds, clips / best(one_process, rounds)


def loader_clips_per_second(clips, workers, rounds=3):
    from vantel.torch import MorseDataset

    stream = MorseStream(TRAINING, messages="paris", seed=1, length=clips)
    loader = MorseDataset(stream, batch_size=32).loader(num_workers=workers, persistent_workers=True)

    def epoch():
        for _ in loader:
            pass

    epoch()  # workers started
    return clips / best(epoch, rounds)


def command_against_generate(rounds):
    with tempfile.TemporaryDirectory() as work:
        out = pathlib.Path(work)
        args = [GEN] + [a for k, v in LONG.items() for a in ("--" + k.replace("_", "-"), str(v))]
        times = {"vantel-gen": [], "generate()": [], "generate() + save()": []}
        for _ in range(rounds):  # interleaved: each round runs all three
            start = time.perf_counter()
            subprocess.run(args + ["-o", str(out / "command.wav")], check=True, stdout=subprocess.DEVNULL)
            times["vantel-gen"].append(time.perf_counter() - start)
            start = time.perf_counter()
            clip = vantel.generate(**LONG)
            times["generate()"].append(time.perf_counter() - start)
            start = time.perf_counter()
            vantel.generate(**LONG).save(out / "clip.wav")
            times["generate() + save()"].append(time.perf_counter() - start)
        same = (out / "command.wav").read_bytes() == (out / "clip.wav").read_bytes()
        return {k: min(v) for k, v in times.items()}, clip.duration, same


def main():
    warnings.simplefilter("ignore", vantel.VantelWarning)
    seconds, alone = clips_per_second(3000)
    print(f"MorseStream, {seconds:.2f} s clips at 12 kHz, one process: {alone:,.0f} clips/s (one core)")
    two = loader_clips_per_second(6000, 2)
    print(f"DataLoader, 2 workers, batches of 32: {two:,.0f} clips/s, {two / 2:,.0f} per core "
          f"({os.cpu_count()} cores on this machine)")
    best_times, duration, same = command_against_generate(ROUNDS)
    command = best_times["vantel-gen"]
    print(f"{duration:.1f} s clip, best of {ROUNDS} interleaved rounds (the files {'are' if same else 'are NOT'} identical):")
    for name, t in best_times.items():
        print(f"  {name:22s} {t * 1000:7.2f} ms   {t / command:5.2f} x vantel-gen's time")


if __name__ == "__main__":
    main()
