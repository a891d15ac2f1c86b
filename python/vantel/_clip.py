"""One clip made in memory, and generate()."""

import os
import warnings

import numpy as np

from . import _options, _signature, _vantel


class VantelWarning(UserWarning):
    """What vantel-gen tells on standard error without stopping: a text read
    loosely ("48k" read as 48) or samples clipped at 16 bits."""


class Clip:
    """The samples vantel-gen would write for the same options, and what it
    knows about them.

    samples          numpy int16, read-only (the file's samples, in order)
    rate             samples per second
    labels           [(char, start, end), ...]: each character of the encoded
                     message and its half-open sample range, as the
                     manifest's `labels` field gives them
    report           the level report's lines, as vantel-gen prints them
    snr_measured_db  the S/N measured in the reference bandwidth (NaN when
                     there was no tone or no noise)
    settings         the manifest row for this clip, as a dict
    """

    __slots__ = ("samples", "rate", "labels", "report", "snr_measured_db", "settings")

    def __init__(self, made):
        self.samples = made["samples"]
        self.rate = made["rate"]
        self.report = made["report"]
        self.snr_measured_db = made["snr_measured_db"]
        self.settings = made["settings"]
        self.labels = self.settings["labels"]
        # The other stations' labels in the wanted signal's form, so that one
        # reader serves both.
        for station in self.settings.get("qrm_station_list") or ():
            station["labels"] = [(label["char"], label["start"], label["end"]) for label in station["labels"]]

    @property
    def duration(self):
        """Length in seconds."""
        return len(self.samples) / self.rate

    def save(self, path, format=None, quality=None, title="", artist="", album=""):
        """Writes the file vantel-gen writes for the same options, byte for
        byte for WAV: into a temporary beside `path` that becomes `path`
        (replacing a file of that name) only when complete. The format is
        `format` (wav, flac, ogg, opus or mp3) or the one `path`'s extension
        names, else WAV; `quality` 0 to 10 for the lossy ones; the tags for
        all but WAV. ValueError for a format or rate that cannot be written;
        OSError, naming `path`, when it cannot be written; nothing is left
        behind then."""
        _vantel.save_wav(os.fspath(path), self.rate, self.samples, format, quality, title, artist, album)

    def to_float(self):
        """The samples as float32 in [-1, 1): each sample / 32768."""
        return self.samples.astype(np.float32) * np.float32(1 / 32768)

    def __repr__(self):
        return f"<vantel.Clip {len(self.samples)} samples at {self.rate} Hz, {self.settings['message_encoded']!r}>"


def _warn(lines, stacklevel):
    for line in lines:
        warnings.warn(line, VantelWarning, stacklevel=stacklevel + 1)


def make_clip(options, index=0, stacklevel=1):
    """The clip for `options` (keyword -> value), its settings row numbered
    `index`. Warnings are told `stacklevel` frames above the caller."""
    options = dict(options)
    quiet = bool(options.pop("quiet_warnings", False))
    _options.refuse(options, _options.NOT_FOR_A_CLIP, "has no meaning for a clip made in memory")
    request = _options.file_request(options)
    if not quiet:
        _warn(_vantel.loose_text_warnings(request), stacklevel + 1)
    made = _vantel.render_clip(request, index, "CWTemp.wav")
    if made["text_changes"] and not quiet:
        _warn([made["text_changes"]], stacklevel + 1)
    if made["clipping_warning"] is not None:
        _warn([made["clipping_warning"]], stacklevel + 1)
    return Clip(made)


def generate(**options):
    """The clip vantel-gen makes for these options, in memory.

    Each keyword is one of vantel-gen's options without its dashes, `-` as
    `_`, and takes a number or the text a user would type, read by the same
    rules ("18x" reads as 18, with a VantelWarning unless quiet_warnings=True).
    True gives a flag; None or False leaves the option out (vantel-gen's
    default). ValueError with vantel-gen's message when the options cannot be
    used; TypeError for a keyword vantel-gen does not have, or a list: one
    call makes one clip (vantel.sweep() writes a set of files,
    vantel.data.MorseStream draws clips from several values).
    """
    _signature.GENERATE.check(options)
    for keyword, value in options.items():
        if _signature.is_several(value):
            raise TypeError(f"{keyword}= is a list, but generate() makes one clip: use vantel.sweep() for a file "
                            "for each value, or vantel.data.MorseStream for clips drawn from several values")
    return make_clip(options, stacklevel=2)


_signature.GENERATE.describe(generate, returns=Clip)
