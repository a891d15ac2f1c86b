"""A MorseStream as a torch IterableDataset (this module imports torch;
`import vantel` does not).

    dataset = vantel.torch.MorseDataset(stream, batch_size=32)
    loader = dataset.loader(num_workers=2)
    for batch in loader: ...   # batch["samples"]: float32 [32, longest]

Each DataLoader worker makes its own share of the clip indices: worker w of W
makes the batches w, w + W, w + 2W, ... of the epoch (batch b holds clips
b * batch_size to (b + 1) * batch_size - 1). A DataLoader takes batches from
its workers in turn, so it gives the epoch's clips in the same order for
any number of workers, 0 included, as long as its batch size is the
dataset's (loader() sees to that).
"""

import itertools
import zlib

import torch
from torch.utils.data import DataLoader, IterableDataset, get_worker_info


def label_id(text):
    """The class of a label's text: a character's code, or for a prosign such
    as "<AR>" a fixed number above every character code (the same on every
    machine and in every process)."""
    if len(text) == 1:
        return ord(text)
    return 0x110000 + zlib.crc32(text.encode("utf-8")) % (1 << 30)


def clip_item(clip, index):
    """One clip as tensors: samples float32 in [-1, 1), labels int64 [n, 3]
    (label_id of the text, start, end) as in the manifest, and the encoded
    text."""
    labels = torch.tensor([(label_id(c), start, end) for c, start, end in clip.labels], dtype=torch.int64)
    return {
        "samples": torch.from_numpy(clip.to_float()),
        "labels": labels.reshape(-1, 3),
        "text": clip.settings["message_encoded"],
        "index": index,
        "rate": clip.rate,
    }


def collate(items):
    """Items of unequal lengths as one batch: samples padded with 0 to the
    longest ([B, T], with `lengths`), labels padded with -1 ([B, L, 3], with
    `label_counts`), texts as a list."""
    lengths = torch.tensor([len(i["samples"]) for i in items], dtype=torch.int64)
    counts = torch.tensor([len(i["labels"]) for i in items], dtype=torch.int64)
    longest = int(lengths.max()) if len(items) else 0
    most_labels = int(counts.max()) if len(items) else 0
    samples = torch.zeros(len(items), longest, dtype=torch.float32)
    labels = torch.full((len(items), most_labels, 3), -1, dtype=torch.int64)
    for row, item in enumerate(items):
        samples[row, : len(item["samples"])] = item["samples"]
        labels[row, : len(item["labels"])] = item["labels"]
    return {
        "samples": samples,
        "lengths": lengths,
        "labels": labels,
        "label_counts": counts,
        "text": [i["text"] for i in items],
        "index": torch.tensor([i["index"] for i in items], dtype=torch.int64),
        "rate": torch.tensor([i["rate"] for i in items], dtype=torch.int64),
    }


class MorseDataset(IterableDataset):
    """The clips of a vantel.data.MorseStream, as items for a DataLoader
    whose batch size is `batch_size` (None: a DataLoader that does not
    batch, one item at a time)."""

    def __init__(self, stream, batch_size=1):
        super().__init__()
        if batch_size is not None and batch_size < 1:
            raise ValueError("batch_size must be at least 1")
        self.stream = stream
        self.batch_size = batch_size

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
        for index in self.worker_indices(worker, workers):
            yield clip_item(self.stream.clip(index), index)

    def loader(self, **kwargs):
        """A DataLoader over this dataset with its batch size and collate()."""
        kwargs.setdefault("collate_fn", collate if self.batch_size is not None else None)
        return DataLoader(self, batch_size=self.batch_size, **kwargs)
