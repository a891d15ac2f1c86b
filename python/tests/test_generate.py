"""generate() and the clip against vantel-gen run with the same options."""

import inspect
import os
import pathlib
import re
import threading
import time
import warnings

import numpy as np
import pytest

import vantel
from vantel import _vantel
from conftest import cli_args, folder_bytes, manifest_rows, run_gen

# One line per option set: each must give vantel-gen's file byte for byte.
FILE_OPTION_SETS = [
    pytest.param({}, id="startup"),
    pytest.param({"message": "CQ TEST", "wpm": 25, "snr": 6, "level": "auto"}, id="auto-level"),
    pytest.param({"mode": "fsk", "tone": 700, "space_tone": 650.5, "rate": 8000, "seed": 12345}, id="fsk"),
    pytest.param({"mode": "tone", "tone_length": 1.5, "no_filter": True, "snr": -3, "level": -12}, id="tone-flat"),
    pytest.param({"message": "vvv de vantel", "wpm": "18x", "filter_cf": 800, "filter_bw": 500,
                  "quiet_warnings": True}, id="loose-text"),
    pytest.param({"message": "paris", "rate": 48000, "bw": 2500, "snr": 30.25, "level": "auto", "auto_rms": -12,
                  "seed": 2**64 - 1}, id="48k"),
    pytest.param({"message": "e", "snr": -10}, id="clipped"),
    # Band conditions, read by the same option table as the command's.
    pytest.param({"message": "cq de w1aw <AR>", "extended": True, "rise": 5, "farnsworth": 12, "jitter": 10,
                  "channel": "moderate", "seed": 9}, id="fist-and-fading"),
    pytest.param({"message": "test", "qrm": 3, "qrm_level": -6, "qrn": 2, "qsb_depth": 10, "qsb_period": 4,
                  "level": "auto"}, id="qrm-qrn-qsb"),
    pytest.param({"mode": "tone", "tone_length": 2, "drift": 30, "channel": "flutter"}, id="tone-drift-flutter"),
]


@pytest.mark.parametrize("options", FILE_OPTION_SETS)
def test_saved_clip_is_vantel_gens_file(tmp_path, options):
    done = run_gen(cli_args(options) + ["-o", "command.wav"], tmp_path)
    assert done.returncode == 0, done.stderr
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", vantel.VantelWarning)
        clip = vantel.generate(**options)
    clip.save(tmp_path / "clip.wav")
    command = (tmp_path / "command.wav").read_bytes()
    assert (tmp_path / "clip.wav").read_bytes() == command
    assert clip.rate == int.from_bytes(command[24:28], "little")
    # The report names the file vantel-gen writes without -o.
    assert clip.report[1:] == done.stdout.splitlines()[1:]


# Morse option sets a sweep takes as they are (its lists read numbers only).
MANIFEST_OPTION_SETS = [p for p in FILE_OPTION_SETS
                        if p.id in ("auto-level", "fsk", "48k", "clipped", "fist-and-fading", "qrm-qrn-qsb")]


@pytest.mark.parametrize("options", MANIFEST_OPTION_SETS)
def test_settings_and_labels_are_the_manifests(tmp_path, options):
    options = {k: v for k, v in options.items() if k != "seed"}
    done = run_gen(cli_args(options) + ["--sweep", "-o", "set", "--seed", "99"], tmp_path)
    assert done.returncode == 0, done.stderr
    (row,) = manifest_rows(tmp_path / "set")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", vantel.VantelWarning)
        clip = vantel.generate(**options, seed=_vantel.file_seed(99, 0))
    assert clip.labels == [(label["char"], label["start"], label["end"]) for label in row["labels"]]
    assert clip.labels, "a Morse message has labels"
    stations = [dict(s, labels=[(c["char"], c["start"], c["end"]) for c in s["labels"]])
                for s in row["qrm_station_list"]]
    expected = dict(row, seed=int(row["seed"]), labels=clip.labels, qrm_station_list=stations, file="CWTemp.wav")
    assert clip.settings == expected
    assert clip.snr_measured_db == pytest.approx(row["snr_measured_db"], abs=0)
    clip.save(tmp_path / "clip.wav")
    assert (tmp_path / "clip.wav").read_bytes() == (tmp_path / "set" / row["file"]).read_bytes()


def test_the_clip_is_its_samples():
    clip = vantel.generate(message="t", level="auto", seed=5)
    assert clip.samples.dtype == np.int16 and clip.samples.ndim == 1
    assert not clip.samples.flags.writeable  # what save() writes stays what was made
    assert len(clip.samples) == clip.settings["samples"]
    floats = clip.to_float()
    assert floats.dtype == np.float32
    assert np.array_equal(floats * 32768, clip.samples.astype(np.float32))
    assert floats.min() >= -1 and floats.max() < 1


def test_save_replaces_a_file_and_leaves_nothing_on_failure(tmp_path):
    clip = vantel.generate(message="e")
    target = tmp_path / "c.wav"
    target.write_bytes(b"older")
    clip.save(str(target))
    assert target.read_bytes()[:4] == b"RIFF"
    missing = tmp_path / "gone" / "c.wav"
    with pytest.raises(OSError, match="gone/c.wav") as error:
        clip.save(missing)
    assert ".partial-" not in str(error.value)
    assert sorted(os.listdir(tmp_path)) == ["c.wav"]


def test_save_writes_into_a_fifo_and_through_a_link(tmp_path):
    clip = vantel.generate(message="e")
    reference = tmp_path / "reference.wav"
    clip.save(reference)
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    got = []
    reader = threading.Thread(target=lambda: got.append(fifo.read_bytes()))
    reader.start()
    clip.save(fifo)
    reader.join()
    assert got == [reference.read_bytes()] and fifo.is_fifo()
    (tmp_path / "link.wav").symlink_to("reference.wav")
    reference.write_bytes(b"older")
    clip.save(tmp_path / "link.wav")
    assert (tmp_path / "link.wav").is_symlink() and reference.read_bytes() == got[0]


@pytest.mark.parametrize("options", [
    {"mode": "morse"},
    {"seed": "twelve"},
    {"level": "auto", "auto_rms": -80},
    {"no_filter": 1},
    {"message": ""},
    {"level": 10, "auto_rms": -12},
])
def test_bad_options_raise_vantel_gens_message(tmp_path, options):
    # Keywords with values are given as --name=value, so that a flag given a
    # value is refused rather than its value taken for the next option.
    args = [f"--{k.replace('_', '-')}={v}" for k, v in options.items()]
    done = run_gen(args + ["-o", "x.wav"], tmp_path)
    assert done.returncode != 0
    message = done.stderr.strip().removeprefix("vantel-gen: ")
    with pytest.raises(ValueError) as error:
        vantel.generate(**options)
    assert str(error.value) == message


@pytest.mark.parametrize("options, args", [
    ({"message": "<E", "extended": True}, ["--message", "<E", "--extended"]),
    ({"message": "E", "wpm": 10, "farnsworth": 20}, ["--message", "E", "--wpm", "10", "--farnsworth", "20"]),
])
def test_runs_refused_while_being_set_up_raise_value_error(tmp_path, options, args):
    # These are found only once the message is encoded and timed.
    done = run_gen(args + ["-o", "x.wav"], tmp_path)
    assert done.returncode != 0
    with pytest.raises(ValueError) as error:
        vantel.generate(**options)
    assert str(error.value) == done.stderr.strip().removeprefix("vantel-gen: ")


@pytest.mark.parametrize("keyword", ["output", "o", "sweep", "jobs", "quiet", "help", "version", "messages"])
def test_options_for_files_are_refused(keyword):
    with pytest.raises(ValueError, match=f"^{keyword}= "):
        vantel.generate(**{keyword: "x"})


def test_a_keyword_is_an_options_name_and_a_text_is_text(tmp_path):
    # A name holding "=" once carried another option (here the output folder).
    for name in ("output=other", "snr ", "Snr", "filter-bw", "-o"):
        with pytest.raises(TypeError, match="unexpected keyword argument"):
            vantel.sweep(tmp_path / "safe", message="E", snr=[1, 2], rate=8000, **{name: True})
        with pytest.raises(TypeError, match="unexpected keyword argument"):
            vantel.generate(**{name: 1})
    assert not (tmp_path / "other").exists() and not (tmp_path / "safe").exists()
    with pytest.raises(ValueError, match=r"^message= is not valid text: it holds '\\udcff' at position 1"):
        vantel.generate(message="A\udcffB")


def test_keywords_are_read_as_typed_texts():
    def settings(**options):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", vantel.VantelWarning)
            return vantel.generate(message="e", **options).settings

    assert settings(snr=np.float32(6.5))["snr_typed"] == "6.5"
    assert settings(snr=np.float64(0.1))["snr_typed"] == "0.1"
    assert settings(snr=1e-7)["snr_typed"] == "1e-07"
    assert settings(wpm=np.int64(30))["wpm"] == 30
    assert settings(level="auto")["level_typed"] == "auto"
    assert settings(no_filter=np.bool_(True))["filter"] is False
    assert settings(no_filter=False, rate=None)["filter"] is True
    assert settings(rate=None)["rate_typed"] == "12000"
    with pytest.raises(TypeError, match=r"^snr= is a list, but generate\(\) makes one clip: use vantel.sweep\(\)"):
        vantel.generate(snr=[1, 2])


def keyword_only(function):
    return {p.name for p in inspect.signature(function).parameters.values() if p.kind is p.KEYWORD_ONLY}


def test_the_keywords_are_vantel_gens_options(tmp_path):
    text = run_gen(["--help"], tmp_path).stdout
    clip_part = text.split("\nSweeps: ")[0]

    def named(part):
        return {name.replace("-", "_") for name in re.findall(r"^  (?:-\w, )?--([a-z][a-z0-9-]*)", part, re.M)}

    for_the_command = {"output", "strict", "help", "version", "format", "quality", "title", "artist", "album", "play",
                       "split"}
    assert keyword_only(vantel.generate) == named(clip_part) - for_the_command
    # progress= is sweep()'s own: the command's is on unless -q.
    assert keyword_only(vantel.sweep) == named(text) - for_the_command - {"quiet"} | {"progress"}


def test_python_values_mean_what_they_say(tmp_path):
    messages = ["CQ CQ", "TEST 5NN"]
    (tmp_path / "messages.txt").write_text("\n".join(messages) + "\n")
    done = run_gen(["--sweep", "-q", "-o", "command", "--messages", "messages.txt", "--snr", "0,10", "--rate", "8000",
                    "--level", "auto", "--seed", "3"], tmp_path)
    assert done.returncode == 0, done.stderr
    vantel.sweep(tmp_path / "python", messages=messages, snr=[0, 10], rate=8000, level="auto", seed=3)
    assert folder_bytes(tmp_path / "python") == folder_bytes(tmp_path / "command")
    with pytest.raises(TypeError, match=r"^generate\(\) got an unexpected keyword argument 'snrr'; did you mean 'snr'\?$"):
        vantel.generate(snrr=1)
    with pytest.raises(TypeError, match=r"^sweep\(\) got an unexpected keyword argument 'mesages'; did you mean"):
        vantel.sweep(tmp_path / "never", mesages=messages)
    assert not (tmp_path / "never").exists()


def test_the_committed_stub_declares_the_package_as_it_runs():
    stub = pathlib.Path(vantel.__file__).with_name("__init__.pyi")
    declared = {"__name__": "vantel.__stub__", "__package__": "vantel"}
    exec(compile(stub.read_text(encoding="utf-8"), str(stub), "exec"), declared)
    stale = f"{stub} is out of date: remake it with PYTHONPATH=python /usr/bin/python3 python/gen_stubs.py"

    def public(cls):
        return {name for name in [*dir(cls), *getattr(cls, "__annotations__", {})] if not name.startswith("_")}

    assert declared["__all__"] == vantel.__all__, stale
    for name in vantel.__all__:
        runtime = getattr(vantel, name)
        if isinstance(runtime, type):
            assert public(declared[name]) == public(runtime), f"{name}: {stale}"
        elif callable(runtime):
            assert (list(inspect.signature(declared[name]).parameters.values())
                    == list(inspect.signature(runtime).parameters.values())), f"{name}(): {stale}"


def test_warnings_are_vantel_gens_lines(tmp_path):
    options = {"message": "e", "wpm": "22k", "tone": "abc", "snr": -10}
    command = run_gen(cli_args(options) + ["-o", "x.wav"], tmp_path)
    expected = [line.removeprefix("vantel-gen: ") for line in command.stderr.splitlines()]
    assert len(expected) == 3  # two loose texts and the clipping
    with warnings.catch_warnings(record=True) as told:
        warnings.simplefilter("always")
        vantel.generate(**options)
    assert [str(w.message) for w in told] == expected
    assert all(issubclass(w.category, vantel.VantelWarning) for w in told)
    assert all(w.filename == __file__ for w in told)  # told at the caller's line
    with warnings.catch_warnings(record=True) as told:
        warnings.simplefilter("always")
        vantel.generate(**options, quiet_warnings=True)
    assert [str(w.message) for w in told] == expected[2:]  # clipping is always told


def test_generation_releases_the_gil():
    # A second Python thread keeps counting while this one is inside
    # generate(); if the GIL were held through the run it could not count
    # at all until the run ended.
    count = 0
    stop = False

    def counter():
        nonlocal count
        while not stop:
            count += 1

    options = {"mode": "tone", "tone_length": 150, "rate": 48000, "level": -3, "seed": 3}
    thread = threading.Thread(target=counter)
    thread.start()
    try:
        start, began = count, time.perf_counter()
        clip = vantel.generate(**options)
        during, spent = count - start, time.perf_counter() - began
        start = count
        time.sleep(spent)
        alone = count - start
    finally:
        stop = True
        thread.join()
    assert during > 0.2 * alone, (during, alone)

    # Threads generating at once give each its own clip, as made alone.
    made = {}

    def make(seed):
        made[seed] = vantel.generate(**dict(options, seed=seed, tone_length=5)).samples

    threads = [threading.Thread(target=make, args=(seed,)) for seed in (3, 4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert np.array_equal(made[3], vantel.generate(**dict(options, tone_length=5)).samples)
    assert np.array_equal(made[4], vantel.generate(**dict(options, seed=4, tone_length=5)).samples)
    assert not np.array_equal(made[3], made[4])
