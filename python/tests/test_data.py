"""MorseStream and its torch dataset: the same clips for a seed, however made."""

import subprocess
import sys

import numpy as np
import pytest

import vantel
from vantel import _vantel, vocab
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


@pytest.mark.parametrize("kind", ["MorseDataset", "MorseIterableDataset"])
@pytest.mark.parametrize("batch_size", [3, None])
def test_a_dataloader_gives_the_same_epoch_for_any_number_of_workers(batch_size, kind):
    torch = pytest.importorskip("torch")
    import vantel.torch

    dataset = getattr(vantel.torch, kind)(stream(), batch_size=batch_size)
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
    from vantel.torch import MorseDataset, MorseIterableDataset, collate

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
        assert [(vocab.SYMBOLS[c], a, b) for c, a, b in labels[: len(clip.labels)].tolist()] == clip.labels
        assert (labels[len(clip.labels):] == -1).all()
        # CTC targets: the labels' ids, padded with the blank.
        assert batch["targets"][row, : len(clip.labels)].tolist() == labels[: len(clip.labels), 0].tolist()
        assert not batch["targets"][row, len(clip.labels):].any()
        assert batch["settings"][row] == clip.settings
        assert batch["snr_db"][row] == clip.settings["snr_db"] and batch["tone_hz"][row] == clip.settings["tone_hz"]
    assert batch["targets"].shape == (4, max(len(c.labels) for c in clips))
    assert batch["target_lengths"].tolist() == batch["label_counts"].tolist()
    assert batch["samples"] is batch["waveform"]
    assert collate([])["samples"].shape == (0, 0)
    # Worker shares of an endless stream: whole batches in turn, none twice.
    endless = MorseIterableDataset(MorseStream({}, seed=2), batch_size=2)
    shares = [list(zip(range(6), endless.worker_indices(w, 3))) for w in range(3)]
    assert [[k for _, k in share] for share in shares] == [[0, 1, 6, 7, 12, 13], [2, 3, 8, 9, 14, 15],
                                                          [4, 5, 10, 11, 16, 17]]


def by_index(loader):
    """index -> (samples, targets, text) over one pass of a loader."""
    seen = {}
    for batch in loader:
        for row, index in enumerate(batch["index"].tolist()):
            assert index not in seen
            n, s = batch["lengths"][row], batch["target_lengths"][row]
            seen[index] = (batch["waveform"][row, :n], batch["targets"][row, :s].tolist(), batch["text"][row])
    return seen


def same_items(mine, theirs):
    assert mine.keys() == theirs.keys()
    for index, (waveform, targets, text) in mine.items():
        assert torch_equal(waveform, theirs[index][0]) and (targets, text) == theirs[index][1:], index


def torch_equal(a, b):
    return a.shape == b.shape and bool((a == b).all())


def test_map_style_items_do_not_depend_on_workers_batch_size_or_order():
    torch = pytest.importorskip("torch")
    from torch.utils.data import DataLoader
    from vantel.torch import MorseDataset, collate

    dataset = MorseDataset(stream())
    passes = [by_index(DataLoader(dataset, batch_size=size, shuffle=True, num_workers=workers, collate_fn=collate,
                                  generator=torch.Generator().manual_seed(workers)))
              for workers, size in ((0, 3), (2, 4))]
    assert sorted(passes[0]) == list(range(10))
    same_items(passes[0], passes[1])
    item = dataset[7]
    assert torch_equal(item["waveform"], passes[1][7][0]) and item["settings"]["index"] == 7


def test_epochs_give_new_clips_reproducibly_and_epoch_0_the_first_ones():
    pytest.importorskip("torch")
    from torch.utils.data import DataLoader
    from vantel.data import epoch_seed
    from vantel.torch import MorseDataset, MorseIterableDataset, collate

    # Epoch 0 is what streams always made: draws from a Generator seeded
    # (seed, k), noise seed file k's of a sweep with the stream's seed.
    fixed = {"rate": 8000, "snr": 3, "level": "auto"}
    s = MorseStream(fixed, messages=MESSAGES, seed=11, length=10)
    for k in (0, 5):
        rng = np.random.default_rng([11, k])
        made = vantel.generate(**fixed, message=MESSAGES[int(rng.integers(4))], seed=_vantel.file_seed(11, k))
        assert np.array_equal(s[k].samples, made.samples)
    first = [s[k] for k in range(10)]
    s.set_epoch(3)
    third = [s[k] for k in range(10)]
    assert all(c.settings["seed"] == _vantel.file_seed(epoch_seed(11, 3), k) for k, c in enumerate(third))
    assert len({c.settings["message_typed"] for c in third}) > 1
    assert [c.settings["message_typed"] for c in third] != [c.settings["message_typed"] for c in first]
    again = MorseStream(fixed, messages=MESSAGES, seed=11, length=10, epoch=3)
    assert all(np.array_equal(again[k].samples, third[k].samples) for k in (0, 9))
    # The epoch reaches workers that were started before it was set.
    map_style, iterable = MorseDataset(stream()), MorseIterableDataset(stream(), batch_size=4)
    loaders = [DataLoader(map_style, batch_size=3, shuffle=True, num_workers=2, persistent_workers=True,
                          collate_fn=collate), iterable.loader(num_workers=2, persistent_workers=True)]
    before = [by_index(loader) for loader in loaders]
    for dataset in (map_style, iterable):
        dataset.set_epoch(1)
    after = [by_index(loader) for loader in loaders]
    expected = {k: stream(epoch=1)[k] for k in range(10)}
    for items, earlier in zip(after, before):
        assert sorted(items) == list(range(10))
        for k, (waveform, _, text) in items.items():
            assert np.array_equal(waveform.numpy() * 32768, expected[k].samples)
            assert text == expected[k].settings["message_encoded"]
            assert not torch_equal(waveform, earlier[k][0])


def test_training_clips_targets_labels_and_framing():
    pytest.importorskip("torch")
    from vantel.torch import MorseDataset

    options = {"rate": 8000, "wpm": [20, 28], "snr": 10, "level": "auto", "duration": 2, "qrm": 1, "extended": True,
               "lead_in": lambda rng: rng.uniform(0, 0.4)}
    s = MorseStream(options, messages=["cq de w1aw <ar>", "tu = 5nn k", "vvv (test) <sk>"], seed=4, length=12)
    cropped = 0
    for item in MorseDataset(s):
        settings, labels = item["settings"], item["labels"].tolist()
        assert len(item["waveform"]) == 16000 == s.length_of(item["index"])
        assert labels and item["targets"].tolist() == vocab.encode(item["text"]) == [c for c, _, _ in labels]
        lead_in = round(settings["lead_in_s"] * settings["rate_hz"])
        assert labels[0][1] == lead_in + 1 + settings["filter_delay_samples"]
        assert all(0 <= a < b <= 16000 for _, a, b in labels)
        cropped += not settings["message_typed"].upper().startswith(item["text"])
        (station,) = settings["qrm_station_list"]
        assert all(isinstance(c, str) and 0 <= a < b <= 16000 for c, a, b in station["labels"])
    assert cropped > 6  # windows from all over the messages
    # Lengths are known before the clips are made.
    varied = MorseStream({"rate": [8000, 11025], "wpm": "15:35:1", "farnsworth": [0, 12], "tail": [0, 0.3],
                          "crop_from": [0, 0.5], "level": "auto"}, messages=MESSAGES, seed=5, length=12)
    assert [varied.length_of(k) for k in range(12)] == [len(c.samples) for c in varied]


def test_bucket_batches_pad_less_and_cover_each_epoch():
    pytest.importorskip("torch")
    from vantel.torch import BucketSampler, MorseDataset

    words = lambda rng: "e" * int(rng.integers(1, 40))
    dataset = MorseDataset(MorseStream({"rate": 8000, "level": "auto"}, messages=words, seed=3, length=64))
    sampler = BucketSampler(dataset, batch_size=4, pool=8, seed=9)
    first, again = list(sampler), list(BucketSampler(dataset, batch_size=4, pool=8, seed=9))
    assert first == again and len(first) == len(sampler) == 16
    assert sorted(sum(first, [])) == list(range(64))
    lengths = sampler.lengths()
    padding = lambda batches: sum(len(b) * lengths[b].max() - lengths[b].sum() for b in batches)
    in_order = [list(range(k, k + 4)) for k in range(0, 64, 4)]
    assert padding(first) < padding(in_order) / 4
    dataset.set_epoch(1)
    second = list(sampler)
    assert second != first and sorted(sum(second, [])) == list(range(64))
    assert sampler.lengths().tolist() == [len(dataset[k]["waveform"]) for k in range(64)]
    assert [len(b) for b in BucketSampler(np.arange(10), 4, drop_last=True)] == [4, 4]
