"""Scores the decoder train_ctc.py trained (its saved state_dict) on a
scorecard suite, as vantel-score would score a command, and writes the
scorecard's files:

    python3 examples/train_ctc.py --minutes 30 --save ctc.pt
    python3 examples/score_ctc.py ctc.pt --suite awgn-v1 --also multimon-ng -o awgn
"""

import argparse
import pathlib
import runpy

import torch
import vantel
from vantel import vocab
from vantel.scorecard.decoders import parse_option

TRAINED = runpy.run_path(str(pathlib.Path(__file__).with_name("train_ctc.py")))


def decoder(model):
    """(samples, rate) -> text, as vantel.score() calls a decoder."""
    model.eval()

    def decode(samples, rate):
        batch = {"waveform": torch.from_numpy(samples)[None], "rate": torch.tensor([rate]),
                 "lengths": torch.tensor([len(samples)])}
        with torch.no_grad():
            x, frames = TRAINED["features"](batch)
            return vocab.greedy_decode(model(x).transpose(1, 2), frames)[0]

    return decode


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("model", help="the state_dict train_ctc.py --save wrote")
    parser.add_argument("--suite", default="awgn-v1", help="a suite's name or file (default awgn-v1)")
    parser.add_argument("-o", "--output", required=True, help="the results' folder (must not exist)")
    parser.add_argument("--name", default="example-ctc", help="the decoder's name in the results")
    parser.add_argument("--quick", action="store_true", help="a tenth of the suite")
    parser.add_argument("--cache", help="keep the suite's files here and take them from here next time")
    parser.add_argument("--also", action="append", default=[], metavar="DECODER",
                        help="another decoder to score beside it, as vantel-score's --decoder takes it")
    args = parser.parse_args()
    torch.set_num_threads(1)  # one file per core instead
    model = TRAINED["make_model"]()
    model.load_state_dict(torch.load(args.model))
    others = {d.name: d for d in map(parse_option, args.also)}
    vantel.score(args.suite, {args.name: decoder(model), **others}, args.output, quick=args.quick,
                 cache=args.cache, jobs=2)
    print(open(f"{args.output}/report.md", encoding="utf-8").read())
