#!/usr/bin/python3
"""Speed of the Python module, measured side by side (run by hand):

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py [ROUNDS]

1. Two-second training clips at 8 kHz: clips per second made by
   MorseStream alone, then through torch DataLoaders over the map-style
   MorseDataset (shuffled) and the MorseIterableDataset, each with 0 and 2
   workers, batches of 32.
2. Padding: the share of a batch that is padding for the README's stream
   (clips of unequal length), in order against BucketSampler's batches.
3. The data's share of a training step, when examples/train_ctc.py is
   there: time waiting for the next batch against train_step()'s time.
4. One 30 s clip: vantel.generate() (and generate() + save()) against the
   vantel-gen command writing the same file, interleaved, best of ROUNDS.
"""

import os
import pathlib
import runpy
import subprocess
import sys
import tempfile
import time
import types
import warnings

import numpy as np

import vantel
from vantel.data import MorseStream

ROOT = pathlib.Path(__file__).resolve().parents[1]
GEN = os.environ.get("VANTEL_GEN", str(ROOT / "build" / "apps" / "vantel-gen" / "vantel-gen"))
TRAIN_CTC = ROOT / "examples" / "train_ctc.py"
ROUNDS = int(sys.argv[1]) if len(sys.argv) > 1 else 15

WORDS = ["CQ", "DE", "TEST", "PARIS", "73", "QTH", "RST", "599", "TU", "5NN"]
# Two seconds cut from anywhere in the message, after up to 0.3 s of silence.
TRAINING = {"rate": 8000, "duration": 2, "wpm": "18:30:2", "snr": "-10:10:2", "level": "auto",
            "lead_in": lambda rng: rng.uniform(0, 0.3)}
README = {"snr": "-10:10:2", "wpm": "18:30:2", "rate": 8000, "level": "auto"}
LONG = {"message": "CQ CQ DE VANTEL VANTEL K", "wpm": 8, "rate": 12000, "snr": 6, "level": "auto"}
BATCH = 32


def words(count):
    return lambda rng: " ".join(rng.choice(WORDS, count))


def training_stream(clips):
    return MorseStream(TRAINING, messages=words(6), seed=1, length=clips)


def best(run, rounds):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times)


def stream_clips_per_second(clips, rounds=5):
    stream = training_stream(clips)

    def one_process():
        for _ in stream:
            pass

    return clips / best(one_process, rounds)


def loaders(clips, workers):
    """name -> a DataLoader over `clips` training clips."""
    import torch
    from torch.utils.data import DataLoader

    import vantel.torch as vt

    persistent = {"num_workers": workers, "persistent_workers": workers > 0}
    return {
        "map-style MorseDataset, shuffled": DataLoader(vt.MorseDataset(training_stream(clips)), batch_size=BATCH,
                                                       shuffle=True, collate_fn=vt.collate,
                                                       generator=torch.Generator().manual_seed(0), **persistent),
        "MorseIterableDataset": vt.MorseIterableDataset(training_stream(clips), batch_size=BATCH).loader(**persistent),
    }


def loader_clips_per_second(loader, clips, rounds=5):
    def epoch():
        for _ in loader:
            pass

    epoch()  # workers started
    return clips / best(epoch, rounds)


def padding_share(batches, lengths):
    padded = sum(len(b) * lengths[b].max() for b in batches)
    return 1 - sum(lengths[b].sum() for b in batches) / padded


def padding(clips=20000):
    """The README's stream: padding share of batches in order and from
    BucketSampler, and the time to work out an epoch's lengths."""
    import vantel.torch as vt

    dataset = vt.MorseDataset(MorseStream(README, messages=words(3), seed=1, length=clips))
    start = time.perf_counter()
    sampler = vt.BucketSampler(dataset, BATCH)
    lengths = sampler.lengths()
    seconds = time.perf_counter() - start
    in_order = [np.arange(k, min(k + BATCH, clips)) for k in range(0, clips, BATCH)]
    bucketed = [np.array(b) for b in sampler]
    return padding_share(in_order, lengths), padding_share(bucketed, lengths), sampler.pool, seconds


def train_ctc():
    return types.SimpleNamespace(**runpy.run_path(str(TRAIN_CTC), run_name="train_ctc"))


def training_step_share(example, workers, steps=30):
    """Seconds per batch waiting for data and in train_step(), over `steps`
    batches after two to warm up."""
    import torch
    from torch.utils.data import DataLoader

    import vantel.torch as vt

    torch.manual_seed(0)
    model = example.make_model()
    optimizer = torch.optim.Adam(model.parameters(), lr=1e-3)
    loader = DataLoader(vt.MorseDataset(training_stream((steps + 2) * BATCH)), batch_size=BATCH, shuffle=True,
                        num_workers=workers, collate_fn=vt.collate)
    batches = iter(loader)
    data = step = 0.0
    for k in range(steps + 2):
        start = time.perf_counter()
        batch = next(batches)
        got = time.perf_counter()
        example.train_step(model, optimizer, batch)
        if k >= 2:
            data += got - start
            step += time.perf_counter() - got
    return data / steps, step / steps


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
    clips = 1024
    print(f"2 s clips at 8 kHz, batches of {BATCH}, best of 5 epochs of {clips} ({os.cpu_count()} cores here):")
    print(f"  {'MorseStream alone, one process':44s} {stream_clips_per_second(clips):7,.0f} clips/s")
    for workers in (0, 2):
        for name, loader in loaders(clips, workers).items():
            rate = loader_clips_per_second(loader, clips)
            print(f"  {name + f', {workers} workers':44s} {rate:7,.0f} clips/s")
    in_order, bucketed, pool, seconds = padding()
    print(f"Padding of the README's stream, batches of {BATCH}: {in_order:.1%} in order, {bucketed:.1%} with "
          f"BucketSampler (pool={pool}); its lengths for 20,000 clips in {seconds:.2f} s")
    if TRAIN_CTC.exists():
        example = train_ctc()
        for workers in (0, 2):
            data, step = training_step_share(example, workers)
            print(f"Training step of examples/train_ctc.py, {workers} workers: data {data * 1000:.1f} ms, "
                  f"step {step * 1000:.1f} ms per batch: the data is {data / (data + step):.0%} of the time")
    else:
        print("examples/train_ctc.py is not there: no training step measured")
    best_times, duration, same = command_against_generate(ROUNDS)
    command = best_times["vantel-gen"]
    print(f"{duration:.1f} s clip, best of {ROUNDS} interleaved rounds (the files {'are' if same else 'are NOT'} identical):")
    for name, t in best_times.items():
        print(f"  {name:22s} {t * 1000:7.2f} ms   {t / command:5.2f} x vantel-gen's time")


if __name__ == "__main__":
    main()
