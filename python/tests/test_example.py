"""examples/train_ctc.py: importable without training, and its pieces fit."""

import pathlib
import runpy
import types

import pytest

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "train_ctc.py"


def test_train_ctc_learns_one_batch():
    torch = pytest.importorskip("torch")
    from torch.utils.data import DataLoader

    import vantel.torch
    from vantel import vocab

    example = types.SimpleNamespace(**runpy.run_path(str(EXAMPLE), run_name="train_ctc"))
    torch.manual_seed(0)
    batch = next(iter(DataLoader(example.stream(10, 7, 4), 4, collate_fn=vantel.torch.collate)))
    model = example.make_model()
    x, frames = example.features(batch)
    assert model(x).shape == (4, vocab.SIZE, x.shape[2]) and frames.tolist() == [x.shape[2]] * 4
    optimizer = torch.optim.AdamW(model.parameters(), lr=3e-3)
    losses = [example.train_step(model, optimizer, batch) for _ in range(10)]
    assert losses[-1] < losses[0] / 10, losses


def test_score_ctc_gives_the_scorecard_a_working_decoder():
    pytest.importorskip("torch")
    import vantel

    example = runpy.run_path(str(EXAMPLE.with_name("score_ctc.py")), run_name="score_ctc")
    suite = dict(name="one", sweep=[dict(condition="awgn", snr=20, text="groups", characters=10,
                                         options=dict(rate=8000, bw=500))])
    card = vantel.score(suite, {"untrained": example["decoder"](example["TRAINED"]["make_model"]())}, progress=False)
    assert [(f["failure"], f["chars"]) for f in card.files] == [("", 10)]
