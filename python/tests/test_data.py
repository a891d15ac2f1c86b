"""MorseStream and its torch dataset: the same clips for a seed, however made."""

import subprocess
import sys

import numpy as np
import pytest

import vantel
from vantel import _vantel
from vantel.data import MorseStream

OPTIONS = {"snr": "-6:12:3", "wpm": [18, 25, 30], "tone": lambda rng: int(rng.integers(500, 900)),
           "rate": 8000, "level": "auto"}
MESSAGES = ["cq", "paris", "vvv de vantel", "73"]


def stream(**kwargs):
    return MorseStream(OPTIONS, messages=MESSAGES, **{"seed": 11, "length": 10, **kwargs})


def test_clip_k_depends_only_on_the_seed_and_k():
    first, again = stream(), stream()
    clips = list(first)
    assert len(clips) == 10
    assert np.array_equal(again[7].samples, clips[7].samples)  # alone, out of order
    assert again[7].settings == clips[7].settings
    other = stream(seed=12)[7]
    assert not np.array_equal(other.samples, clips[7].samples)
    for k, clip in enumerate(clips):
        assert clip.settings["index"] == k
        assert clip.settings["seed"] == _vantel.file_seed(11, k)
    # The draws vary across clips, each from what was given.
    assert {c.settings["snr_typed"] for c in clips} <= {"-6", "-3", "0", "3", "6", "9", "12"}
    assert len({c.settings["snr_typed"] for c in clips}) > 1
    assert {c.settings["wpm_typed"] for c in clips} <= {"18", "25", "30"}
    assert all(500 <= c.settings["tone_hz"] < 900 for c in clips)
    assert {c.settings["message_typed"] for c in clips} <= set(MESSAGES)
    with pytest.raises(IndexError):
        first[10]


def test_a_streams_clip_is_the_generated_one(tmp_path):
    s = stream()
    options = s.options_of(4)
    clip = s[4]
    made = vantel.generate(**options)
    assert np.array_equal(made.samples, clip.samples)
    assert made.settings == dict(clip.settings, index=0)


def test_the_sweep_syntax_is_vantel_gens():
    with pytest.raises(ValueError) as error:
        MorseStream({"snr": "-6:x:3"})
    assert str(error.value) == "--snr: cannot read '-6:x:3': give a number (20), a list (0,3,6) or a range start:end:step (-20:10:2)"
    with pytest.raises(ValueError, match="empty"):
        MorseStream({"wpm": "30:20:1"})
    # A range of one value is a fixed value; bad fixed options are refused at once.
    assert MorseStream({"snr": "5:5:1", "level": "auto"}, length=1)[0].settings["snr_typed"] == "5"
    with pytest.raises(ValueError, match="bad mode"):
        MorseStream({"mode": "morse"})
    for own in ("seed", "message", "output"):
        with pytest.raises(ValueError, match=f"^{own}= "):
            MorseStream({own: 1})


def test_an_endless_stream_and_callable_messages():
    s = MorseStream({"rate": 8000}, messages=lambda rng: "e" * int(rng.integers(1, 4)), seed=1)
    with pytest.raises(TypeError):
        len(s)
    it = iter(s)
    texts = [next(it).settings["message_encoded"] for _ in range(12)]
    assert set(texts) <= {"E", "EE", "EEE"} and len(set(texts)) > 1
    assert s[100].settings["index"] == 100


def test_clip_numbers_are_whole_numbers_within_the_stream():
    sized, endless = MorseStream({"rate": 8000}, length=3), MorseStream({"rate": 8000})
    assert sized[-1].settings["index"] == 2
    for stream, index, error in ((sized, 1.5, TypeError), (sized, "a", TypeError), (sized, True, TypeError),
                                 (sized, 3, IndexError), (sized, -4, IndexError), (endless, -1, IndexError),
                                 (endless, 2**64, IndexError)):
        with pytest.raises(error):
            stream[index]


def test_importing_vantel_does_not_import_torch():
    code = "import sys, vantel; vantel.data.MorseStream({}, length=1)[0]; print('torch' in sys.modules)"
    assert subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout == "False\n"


def epoch(dataset, workers, **kwargs):
    return list(dataset.loader(num_workers=workers, **kwargs))


@pytest.mark.parametrize("batch_size", [3, None])
def test_a_dataloader_gives_the_same_epoch_for_any_number_of_workers(batch_size):
    torch = pytest.importorskip("torch")
    from vantel.torch import MorseDataset

    dataset = MorseDataset(stream(), batch_size=batch_size)
    epochs = {workers: epoch(dataset, workers) for workers in (0, 1, 2)}
    order = [torch.as_tensor(b["index"]).reshape(-1).tolist() for b in epochs[0]]
    assert sum(order, []) == list(range(10))
    for workers in (1, 2):
        batches = epochs[workers]
        assert [torch.as_tensor(b["index"]).reshape(-1).tolist() for b in batches] == order
        for mine, theirs in zip(batches, epochs[0]):
            for key in mine:
                if isinstance(mine[key], torch.Tensor):
                    assert torch.equal(mine[key], theirs[key]), key
                else:
                    assert mine[key] == theirs[key], key


def test_items_and_their_batches():
    torch = pytest.importorskip("torch")
    from vantel.torch import MorseDataset, collate

    s = stream()
    dataset = MorseDataset(s, batch_size=4)
    (batch,) = [b for b, _ in zip(dataset.loader(), range(1))]
    clips = [s[k] for k in range(4)]
    assert batch["samples"].dtype == torch.float32
    assert batch["lengths"].tolist() == [len(c.samples) for c in clips]
    assert batch["samples"].shape == (4, max(len(c.samples) for c in clips))
    assert batch["label_counts"].tolist() == [len(c.labels) for c in clips]
    assert batch["text"] == [c.settings["message_encoded"] for c in clips]
    for row, clip in enumerate(clips):
        n = len(clip.samples)
        assert torch.equal(batch["samples"][row, :n], torch.from_numpy(clip.to_float()))
        assert not batch["samples"][row, n:].any()
        labels = batch["labels"][row]
        assert [(chr(c), a, b) for c, a, b in labels[: len(clip.labels)].tolist()] == clip.labels
        assert (labels[len(clip.labels):] == -1).all()
    assert collate([])["samples"].shape == (0, 0)
    # Worker shares of an endless stream: whole batches in turn, none twice.
    endless = MorseDataset(MorseStream({}, seed=2), batch_size=2)
    shares = [list(zip(range(6), endless.worker_indices(w, 3))) for w in range(3)]
    assert [[k for _, k in share] for share in shares] == [[0, 1, 6, 7, 12, 13], [2, 3, 8, 9, 14, 15],
                                                          [4, 5, 10, 11, 16, 17]]
