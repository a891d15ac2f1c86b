"""MorseStream clips as torch datasets, ready for CTC training (this module
imports torch; `import vantel` does not).

    stream = MorseStream({...}, messages=..., seed=1, length=20000)
    dataset = vantel.torch.MorseDataset(stream)
    sampler = vantel.torch.BucketSampler(dataset, batch_size=32)
    loader = DataLoader(dataset, batch_sampler=sampler, num_workers=2, collate_fn=vantel.torch.collate)
    for epoch in range(10):
        dataset.set_epoch(epoch)     # new clips; the sampler follows the dataset
        for batch in loader: ...     # batch["waveform"] [32, longest], batch["targets"] [32, most], ...

Item i of MorseDataset is clip i of the stream's current epoch, whoever
asks for it: the same for any sampler, batch size and number of workers.
The epoch lives in shared memory, so set_epoch() between epochs reaches
DataLoader workers, persistent ones included (calling it while an epoch is
being read changes the clips still to come).

For an endless stream, MorseIterableDataset gives clips 0, 1, 2, ... in
order through a DataLoader with any number of workers.
"""

import itertools
import math
import numbers

import numpy as np
import torch
from torch.utils.data import DataLoader, Dataset, IterableDataset, Sampler, get_worker_info

from . import vocab

# Old names of batch and item keys, kept for code written against them.
_ALIASES = {"samples": "waveform"}


def clip_item(clip, index, epoch=0):
    """One clip as a training item: "waveform" float32 [T] in [-1, 1) (also
    as "samples"), "rate", "text" (the message as sent), "labels" int64
    [n, 3] (vantel.vocab class id, start, end: the clip's labels), "targets"
    int64 [n] (the class ids, word spaces included), "settings" (the clip's
    manifest row), "index" and "epoch"."""
    try:
        targets = vocab.targets(clip.labels)
    except ValueError as error:
        raise ValueError(f"clip {index} (epoch {epoch}): {error}") from None
    positions = [(start, end) for _, start, end in clip.labels]
    labels = torch.tensor([(t, a, b) for t, (a, b) in zip(targets, positions)], dtype=torch.int64).reshape(-1, 3)
    waveform = torch.from_numpy(clip.to_float())
    return {
        "waveform": waveform,
        "samples": waveform,
        "rate": clip.rate,
        "text": clip.settings["message_encoded"],
        "labels": labels,
        "targets": labels[:, 0].clone(),
        "settings": clip.settings,
        "index": index,
        "epoch": epoch,
    }


def _padded(rows, fill, shape_tail=(), dtype=torch.int64):
    longest = max((len(r) for r in rows), default=0)
    out = torch.full((len(rows), longest, *shape_tail), fill, dtype=dtype)
    for at, row in enumerate(rows):
        out[at, : len(row)] = row
    return out


def _setting(items, key):
    values = [i["settings"].get(key) for i in items]
    return torch.tensor([math.nan if v is None else float(v) for v in values], dtype=torch.float32)


def collate(items):
    """Items of unequal lengths as one batch of B:

    waveform        float32 [B, T], zero after each clip's end (also "samples")
    lengths         int64 [B], each clip's samples
    targets         int64 [B, S], vantel.vocab ids padded with the blank 0
    target_lengths  int64 [B]   (for torch.nn.functional.ctc_loss)
    labels          int64 [B, L, 3] (id, start, end) padded with -1
    label_counts    int64 [B]
    text, settings  lists of each clip's text and manifest row
    snr_db, wpm, tone_hz  float32 [B] from the settings (NaN where unset)
    rate, index, epoch    int64 [B]
    """
    waveform = _padded([i["waveform"] for i in items], 0.0, dtype=torch.float32)
    batch = {
        "waveform": waveform,
        "samples": waveform,
        "lengths": torch.tensor([len(i["waveform"]) for i in items], dtype=torch.int64),
        "targets": _padded([i["targets"] for i in items], vocab.BLANK),
        "target_lengths": torch.tensor([len(i["targets"]) for i in items], dtype=torch.int64),
        "labels": _padded([i["labels"] for i in items], -1, (3,)),
        "label_counts": torch.tensor([len(i["labels"]) for i in items], dtype=torch.int64),
        "text": [i["text"] for i in items],
        "settings": [i["settings"] for i in items],
    }
    for key in ("snr_db", "wpm", "tone_hz"):
        batch[key] = _setting(items, key)
    for key in ("rate", "index", "epoch"):
        batch[key] = torch.tensor([i[key] for i in items], dtype=torch.int64)
    return batch


class _SharedEpoch:
    """The epoch, in memory that DataLoader workers share with this process:
    a worker reads what the main process last set, even one that was
    started (persistent_workers=True) before it was set."""

    def __init__(self, epoch):
        self._value = torch.tensor([int(epoch)], dtype=torch.int64).share_memory_()

    def get(self):
        return int(self._value[0])

    def set(self, epoch):
        if isinstance(epoch, bool) or not isinstance(epoch, numbers.Integral) or not 0 <= epoch < 2**63:
            raise ValueError(f"epoch must be a whole number from 0, not {epoch!r}")
        self._value[0] = int(epoch)


class _EpochMixin:
    def set_epoch(self, epoch):
        """Makes the clips of epoch `epoch` from now on (in DataLoader
        workers too; call it between epochs)."""
        self._epoch.set(epoch)
        self.stream.set_epoch(epoch)

    @property
    def epoch(self):
        return self._epoch.get()


class MorseDataset(_EpochMixin, Dataset):
    """The clips of a sized vantel.data.MorseStream as a map-style torch
    Dataset: dataset[i] is clip_item() of the stream's clip i in the current
    epoch (set_epoch()).

    batch_size is only loader()'s: a DataLoader over the clips in order
    (None: one item at a time)."""

    def __init__(self, stream, batch_size=1):
        super().__init__()
        if stream.length is None:
            raise TypeError("MorseDataset needs a stream with a length (MorseStream(..., length=N)); "
                            "for an endless one use MorseIterableDataset")
        _check_batch_size(batch_size)
        self.stream = stream
        self.batch_size = batch_size
        self._epoch = _SharedEpoch(stream.epoch)

    def __len__(self):
        return len(self.stream)

    def __getitem__(self, index):
        epoch = self._epoch.get()
        index = self.stream._position(index)
        return clip_item(self.stream.clip(index, epoch), index, epoch)

    def length_of(self, index):
        """The samples of item `index` in the current epoch, without making
        it (see MorseStream.length_of)."""
        return self.stream.length_of(index, self._epoch.get())

    def loader(self, **kwargs):
        """A DataLoader over the clips in order, batch_size at a time, with
        collate(); other DataLoader arguments as given."""
        kwargs.setdefault("collate_fn", collate if self.batch_size is not None else None)
        return DataLoader(self, batch_size=self.batch_size, **kwargs)


class MorseIterableDataset(_EpochMixin, IterableDataset):
    """The clips of a vantel.data.MorseStream, endless or not, in order, as
    items for a DataLoader whose batch size is `batch_size` (None: a
    DataLoader that does not batch, one item at a time).

    Worker w of W makes the batches w, w + W, w + 2W, ... of the epoch (batch
    b holds clips b * batch_size to (b + 1) * batch_size - 1), and a
    DataLoader takes batches from its workers in turn: it gives clips 0, 1,
    2, ... for any number of workers, as long as its batch size is this one
    (loader() sees to that)."""

    def __init__(self, stream, batch_size=1):
        super().__init__()
        _check_batch_size(batch_size)
        self.stream = stream
        self.batch_size = batch_size
        self._epoch = _SharedEpoch(stream.epoch)

    def __len__(self):
        return len(self.stream)

    def worker_indices(self, worker, workers):
        """The clip indices worker `worker` of `workers` makes, in order."""
        per_batch = self.batch_size or 1
        end = self.stream.length
        for batch in itertools.count(worker, workers):
            first = batch * per_batch
            if end is not None and first >= end:
                return
            last = first + per_batch if end is None else min(first + per_batch, end)
            yield from range(first, last)

    def __iter__(self):
        info = get_worker_info()
        worker, workers = (info.id, info.num_workers) if info is not None else (0, 1)
        epoch = self._epoch.get()  # read as each epoch starts, in the worker
        for index in self.worker_indices(worker, workers):
            yield clip_item(self.stream.clip(index, epoch), index, epoch)

    def loader(self, **kwargs):
        """A DataLoader over this dataset with its batch size and collate()."""
        kwargs.setdefault("collate_fn", collate if self.batch_size is not None else None)
        return DataLoader(self, batch_size=self.batch_size, **kwargs)


def _check_batch_size(batch_size):
    if batch_size is not None and (isinstance(batch_size, bool) or not isinstance(batch_size, numbers.Integral)
                                   or batch_size < 1):
        raise ValueError(f"batch_size must be a whole number, at least 1 (or None), not {batch_size!r}")


class BucketSampler(Sampler):
    """Batches of clips of similar length, to cut the padding of a batch: a
    batch sampler for DataLoader(dataset, batch_sampler=...).

    dataset_or_lengths  a MorseDataset (its clips' lengths are worked out
                        for each epoch, without making the clips) or the
                        length of every item
    batch_size          items per batch
    pool                batches sorted together: each epoch the items are
                        shuffled, cut into pools of pool * batch_size, each
                        pool sorted by length and cut into batches, and the
                        batches shuffled. Larger pools pad less and mix less.
    drop_last           leave out the one batch that is not full
    seed                the shuffles' seed

    An epoch's batches are a function of (seed, epoch) and hold every index
    once. Over a dataset the epoch is the dataset's (dataset.set_epoch(e)
    sets both); over lengths, set_epoch(e).
    """

    def __init__(self, dataset_or_lengths, batch_size, pool=50, drop_last=False, seed=0):
        _check_batch_size(batch_size)
        if batch_size is None:
            raise ValueError("BucketSampler needs a batch_size")
        if isinstance(pool, bool) or not isinstance(pool, numbers.Integral) or pool < 1:
            raise ValueError(f"pool must be a whole number of batches, at least 1, not {pool!r}")
        if hasattr(dataset_or_lengths, "length_of"):
            self.dataset, self._lengths = dataset_or_lengths, None
        else:
            self.dataset, self._lengths = None, np.asarray(dataset_or_lengths, dtype=np.int64).reshape(-1)
        self.batch_size, self.pool, self.drop_last = int(batch_size), int(pool), bool(drop_last)
        self.seed = int(seed)
        self._epoch = 0
        self._cached = (None, None)  # (epoch, lengths) of a dataset

    @property
    def epoch(self):
        return self.dataset.epoch if self.dataset is not None else self._epoch

    def set_epoch(self, epoch):
        """The epoch whose batches come next (over a dataset: the dataset's
        epoch too)."""
        if self.dataset is not None:
            self.dataset.set_epoch(epoch)
        elif isinstance(epoch, bool) or not isinstance(epoch, numbers.Integral) or epoch < 0:
            raise ValueError(f"epoch must be a whole number from 0, not {epoch!r}")
        else:
            self._epoch = int(epoch)

    def lengths(self):
        """Every item's length in the current epoch."""
        if self.dataset is None:
            return self._lengths
        epoch = self.epoch
        if self._cached[0] != epoch:
            self._cached = (epoch, np.array([self.dataset.length_of(i) for i in range(len(self.dataset))],
                                            dtype=np.int64))
        return self._cached[1]

    def __len__(self):
        count = len(self.dataset) if self.dataset is not None else len(self._lengths)
        return count // self.batch_size if self.drop_last else -(-count // self.batch_size)

    def __iter__(self):
        lengths = self.lengths()
        rng = np.random.default_rng([self.seed, self.epoch])
        order = rng.permutation(len(lengths))
        span = self.pool * self.batch_size
        batches = []
        for start in range(0, len(order), span):
            pool = order[start:start + span]
            pool = pool[np.argsort(lengths[pool], kind="stable")]
            batches += [pool[at:at + self.batch_size] for at in range(0, len(pool), self.batch_size)]
        if self.drop_last and batches and len(batches[-1]) < self.batch_size:
            batches.pop()
        for at in rng.permutation(len(batches)):
            yield batches[at].tolist()
