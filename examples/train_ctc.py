"""A small CW decoder trained on Vantel clips alone (DFT energies around the
tones, dilated convolutions, CTC): prints minutes, steps, training loss and the
greedy character error rate on held-out clips at S/N +10 dB in 500 Hz, 15-30
WPM, each minute until --minutes have passed or it is below --stop-below.

    python3 examples/train_ctc.py --minutes 30 --save ctc.pt   # vantel installed, or PYTHONPATH=build/python
"""

import argparse
import math
import time

import torch
import vantel.torch
from vantel import vocab

RATE, NFFT, HOP = 8000, 256, 128  # 32 ms windows every 16 ms: a dit at 30 WPM spans 2.5 frames
BINS = range(NFFT * 375 // RATE, NFFT * 1000 // RATE + 1)  # 375-1000 Hz: the tones and their skirts
_PHASE = 2 * math.pi * torch.tensor(BINS)[:, None] * torch.arange(NFFT) / NFFT
DFT = (torch.cat([torch.cos(_PHASE), torch.sin(_PHASE)]) * torch.hann_window(NFFT))[:, None]  # STFT as a conv
WIDTH, DILATIONS = 96, (1, 2, 4, 8, 1, 2, 4, 8)  # sees 2 s: the longest character at 15 WPM
LETTERS = [s for s in vocab.SYMBOLS if len(s) == 1 and (s.isalnum() or s in ".,?/")]
WORDS = "CQ DE TEST QTH NAME RST UR TNX FB HR WX RIG ANT PSE AGN 73 THE AND OF TO IN IS IT THAT FOR ON ARE".split()


def stream(snr, seed, length):
    """3 s clips at 15-30 WPM, tone 500-900 Hz, cut from anywhere in twelve
    plain words or eight random five-character groups."""
    uniform = lambda low, high: lambda rng: float(rng.uniform(low, high))
    options = dict(rate=RATE, wpm=uniform(15, 30), tone=uniform(500, 900), snr=snr, bw=500, level=-12,
                   lead_in=uniform(0, 0.5), duration=3, crop_from=uniform(0, 0.6))
    messages = lambda rng: " ".join(rng.choice(WORDS, 12) if rng.random() < 0.5 else
                                    ("".join(rng.choice(LETTERS, 5)) for _ in range(8)))
    return vantel.torch.MorseDataset(vantel.data.MorseStream(options, messages=messages, seed=seed, length=length))


def features(batch):
    """(x, frame_lengths): the log energies of BINS [B, bins, frames] against
    each clip's loudest, floored 40 dB below it, and each clip's frames."""
    if (batch["rate"] != RATE).any():
        raise ValueError(f"train_ctc's features are for clips at {RATE} Hz: make them with rate={RATE}")
    parts = torch.nn.functional.conv1d(batch["waveform"][:, None], DFT, stride=HOP, padding=NFFT // 2)
    x = torch.log10(parts[:, : len(BINS)] ** 2 + parts[:, len(BINS):] ** 2 + 1e-12)
    return (x - x.amax((1, 2), keepdim=True)).clamp(min=-4) + 2, vocab.frame_count(batch["lengths"], HOP)


class Residual(torch.nn.Sequential):
    def forward(self, x):
        return x + super().forward(x)


def make_model():
    """Features [B, bins, frames] -> log-probabilities [B, vocab.SIZE, frames].
    Only convolutions: recurrent layers are slow on CPUs with a plain BLAS."""
    layer = lambda width, dilation=1: [torch.nn.Conv1d(width, WIDTH, 5, padding=2 * dilation, dilation=dilation),
                                       torch.nn.BatchNorm1d(WIDTH), torch.nn.ReLU()]
    return torch.nn.Sequential(*layer(len(BINS)), *layer(WIDTH), *(Residual(*layer(WIDTH, d)) for d in DILATIONS),
                               torch.nn.Conv1d(WIDTH, vocab.SIZE, 1), torch.nn.LogSoftmax(1))


def train_step(model, optimizer, batch):
    """One optimizer step on the batch's CTC loss; returns the loss."""
    model.train()
    x, frames = features(batch)
    loss = torch.nn.functional.ctc_loss(model(x).permute(2, 0, 1), batch["targets"], frames,
                                        batch["target_lengths"], blank=vocab.BLANK, zero_infinity=True)
    optimizer.zero_grad()
    loss.backward()
    torch.nn.utils.clip_grad_norm_(model.parameters(), 1.0)
    optimizer.step()
    return loss.item()


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--minutes", type=float, default=30, help="time budget (default 30)")
    parser.add_argument("--save", metavar="PATH", help="write the model's state_dict here at the end")
    parser.add_argument("--stop-below", type=float, default=2, metavar="PCT", help="stop at this held-out CER (2 %%)")
    args = parser.parse_args()
    torch.set_num_threads(2)
    torch.manual_seed(0)
    loader = lambda dataset, size: torch.utils.data.DataLoader(dataset, size, collate_fn=vantel.torch.collate)
    held_out = list(loader(stream(10, 2, 512), 64))
    model, start, losses, report = make_model(), time.monotonic(), [], 1
    optimizer = torch.optim.AdamW(model.parameters(), lr=1e-2)
    print("minutes  steps   loss  held-out CER", flush=True)
    # Every training clip is new (a long stream read in order); the held-out ones have their own seed.
    for step, batch in enumerate(loader(stream(lambda rng: rng.uniform(5, 20), 1, 10**7), 32), 1):
        losses.append(train_step(model, optimizer, batch))
        minutes = (time.monotonic() - start) / 60
        if minutes >= min(report, args.minutes):
            with torch.no_grad():
                decoded = [vocab.greedy_decode(model.eval()(x).transpose(1, 2), n) for x, n in map(features, held_out)]
            cer, report = vocab.cer(sum((b["text"] for b in held_out), []), sum(decoded, [])), report + 1
            print(f"{minutes:7.1f} {step:6d} {sum(losses) / len(losses):6.3f} {cer:9.2%}", flush=True)
            losses = []
            if cer < args.stop_below / 100 or minutes >= args.minutes:  # good enough: stop early
                break
    if args.save:
        torch.save(model.state_dict(), args.save)
