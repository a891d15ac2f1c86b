"""Practice material: texts made or read, cut to a length, written in other
formats and played."""

import os
import pathlib
import shutil
import subprocess
import warnings

import numpy as np
import pytest

import vantel
from conftest import VANTEL_GEN, run_gen

REPO = pathlib.Path(__file__).resolve().parents[2]

BOOK = ("Call me Ishmael. Some years ago, never mind how long precisely,\n"
        "having little or no money in my purse, I thought I would sail about.\n\n"
        "Grüße aus Köln: Straße 5.\n") * 4


def sent_characters(clip):
    return "".join(char for char, _, _ in clip.settings["labels_with_text"] if char != " ")


@pytest.mark.parametrize("source", [
    dict(koch=7, groups=6), dict(calls=8), dict(qso=True, words=40), dict(contest=True, words=12),
    dict(word_list="words.txt", words=15), dict(text_file="book.txt", extended=True, paragraph_bt=True)])
def test_each_source_is_sent_as_its_labels_say_and_follows_the_seed(source, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "words.txt").write_text("alpha bravo\ncharlie delta echo\n")
    (tmp_path / "book.txt").write_text(BOOK, encoding="utf-8")
    with warnings.catch_warnings(record=True) as told:
        warnings.simplefilter("always")
        clip = vantel.generate(seed=11, level=-3, **source)
    sent = clip.settings["message_encoded"]
    assert sent_characters(clip) == sent.replace(" ", "") != ""
    assert clip.settings["text_source"]
    assert vantel.generate(seed=11, **source).settings["message_encoded"] == sent
    if "text_file" in source:
        # The umlauts are sent as such with --extended; ß has no code.
        assert "GRÜSSE AUS KÖLN" in sent and "<BT>" in sent
        assert [str(w.message) for w in told] == [clip.settings["text_changes"]]
        assert "'ß' sent as 'SS' (8x)" in clip.settings["text_changes"]
    else:
        assert vantel.generate(seed=12, **source).settings["message_encoded"] != sent
        assert clip.settings["text_changes"] == ""


def test_a_duration_keeps_the_whole_words_that_fit(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "book.txt").write_text(BOOK, encoding="utf-8")
    clip = vantel.generate(text_file="book.txt", duration="0.25m", wpm=25, quiet_warnings=True)
    assert clip.duration == 15
    words = clip.settings["message_encoded"].split()
    book = vantel.generate(text_file="book.txt", wpm=25, quiet_warnings=True).settings["message_encoded"].split()
    assert words == book[:len(words)]
    one_more = vantel.generate(text_file="book.txt", wpm=25, words=len(words) + 1, quiet_warnings=True)
    assert one_more.labels[-1][2] > 15 * clip.rate


def test_split_parts_are_numbered_within_their_length_and_say_it(tmp_path):
    (tmp_path / "t.txt").write_text(" ".join(f"WORD{i}" for i in range(120)))
    done = run_gen(["--text-file", "t.txt", "--split", "20s", "-o", "part.wav", "--level", "-3"], tmp_path)
    assert done.returncode == 0, done.stderr
    names = sorted(p.name for p in tmp_path.glob("part-*.wav"))
    lengths = [len(np.fromfile(tmp_path / name, dtype="<i2", offset=44)) / 12000 for name in names]
    assert names[0] == "part-01.wav" and len(names) == int(done.stdout.splitlines()[-1].split()[0])
    # Whole words only, so each part but the last is short of 20 s by less
    # than a word and its gap (WORD100 is about 5.5 s at 20 WPM).
    assert all(13 < length <= 20 for length in lengths[:-1]) and 0 < lengths[-1] <= 20
    for name, length in zip(names, lengths):
        assert f"{name}: 0:{round(length):02d} ({length:.1f} s)" in done.stdout


@pytest.mark.parametrize("args, says", [
    (["--koch", "41"], "bad --koch '41'"),
    (["--koch", "3", "--koch-order", "nosuch"], "Koch order"),
    (["--koch", "3", "--duration", "0.3"], "shorter than the first word"),
    (["--text-file", "binary.txt"], "line 1, column 3"),
    (["--message", "HI", "-o", "x.aac"], ".aac"),
    (["--message", "HI", "--rate", "11025", "-o", "x.opus"], "11025 Hz"),
    (["--message", "HI", "--format", "flac", "--quality", "5", "-o", "x.flac"], "quality"),
])
def test_bad_practice_input_is_one_line_status_2_and_no_file(args, says, tmp_path):
    (tmp_path / "binary.txt").write_bytes(b"ab\0cd")
    done = run_gen(args, tmp_path)
    assert done.returncode == 2 and says in done.stderr and done.stderr.count("\n") == 1, done.stderr
    assert sorted(p.name for p in tmp_path.iterdir()) == ["binary.txt"]


@pytest.mark.skipif(shutil.which("pulseaudio") is None or shutil.which("parec") is None,
                    reason="needs pulseaudio and parec")
def test_play_is_heard_while_the_file_is_written(tmp_path):
    script = (f"parec -d vantel_null.monitor --format=s16le --rate=12000 --channels=1 > heard.raw & rec=$!; "
              f"sleep 0.3; {VANTEL_GEN} --koch 2 --groups 4 --seed 5 --play -o played.mp3; status=$?; "
              f"sleep 0.3; kill $rec; exit $status")
    # The sound server and its tools must not run with the sanitizer runtime
    # preloaded for this interpreter: the daemon never answers then.
    env = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"}
    done = subprocess.run([str(REPO / "scripts/with-pulseaudio.sh"), "bash", "-c", script], cwd=tmp_path,
                          capture_output=True, text=True, timeout=120, env=env)
    assert done.returncode == 0, done.stderr
    heard = np.fromfile(tmp_path / "heard.raw", dtype="<i2").astype(float)
    made = vantel.generate(koch=2, groups=4, seed=5).samples.astype(float)
    # Everything made was heard: the loud part of the recording is as long
    # as the clip, and as strong.
    loud = np.flatnonzero(np.abs(heard) > 1000)
    assert abs((loud[-1] - loud[0]) - len(made)) < 0.05 * len(made)
    assert np.sqrt(np.mean(heard[loud[0]:loud[0] + len(made)] ** 2)) == pytest.approx(
        np.sqrt(np.mean(made ** 2)), rel=0.05)
    assert (tmp_path / "played.mp3").stat().st_size > 0
