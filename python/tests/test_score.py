import filecmp
import os
import random
import sys

import numpy as np
import pytest

import vantel
from vantel.scorecard import cli, compare, score, suites

SUITE = dict(name="tiny", seed=3, sweep=[dict(condition="awgn", snr=[6, 30], wpm=[30], files=2, characters=20,
                                              options=dict(rate=8000, bw=500, level="auto"))])


@pytest.fixture(scope="module")
def sent():
    """The text each tiny-suite file carries, by its samples."""
    clips = (vantel.generate(**f.options) for f in suites.build(SUITE).files)
    return {clip.samples.tobytes(): clip.settings["message_encoded"] for clip in clips}


def _copying(sent, change):
    return lambda samples, rate: change(sent[np.round(samples * 32768).astype("<i2").tobytes()])


def _every_fifth_dropped(text):
    kept, count = [], 0
    for c in text:
        count += c != " "
        kept.append("" if c != " " and count % 5 == 0 else c)
    return "".join(kept)


def test_a_copy_is_scored_by_its_characters_and_words(sent):
    assert compare("CQ DE W1AW <AR>", "cq  de w1aw +").errors == 0  # case, spacing, prosign spellings
    assert compare("<KA> =", "<_._._> <BT>").errors == 0  # a decoder's dot-dash notation
    assert compare("ABC DEF", "ABCDEF").cer == 0 and compare("ABC DEF", "ABCDEF").word_errors == 2
    assert (compare("ABCDE", "AXCE<ERR_7>")).counts()[1:4] == (1, 1, 1)

    shuffled = lambda text: "".join(random.Random(text).sample(text, len(text)))
    card = score(SUITE, {"true": _copying(sent, str), "shuffled": _copying(sent, shuffled),
                         "fifth": _copying(sent, _every_fifth_dropped)}, jobs=2, progress=False)
    rows = [row for row in card.rows if row["wpm"] == "all"]
    cer = {(row["decoder"], row["snr_label_db"]): row["cer"] for row in rows}
    assert {cer["true", snr] for snr in (6, 30)} == {0}
    assert min(cer["shuffled", snr] for snr in (6, 30)) > 0.8
    assert [cer["fifth", snr] for snr in (6, 30)] == pytest.approx([0.2, 0.2], abs=0.02)
    assert {row["failed_files"] for row in rows} == {0} and sum(row["files"] for row in rows) == 3 * 12


def test_failing_decoders_are_counted_and_the_run_goes_on(tmp_path):
    tiny = dict(SUITE, sweep=[dict(SUITE["sweep"][0], snr=[30], files=1, text="groups")])
    crash = f"{sys.executable} -c 'import sys; sys.exit(3)' {{wav}}"
    card = score(tiny, {"crash": crash, "hang": "sleep 30", "missing": "no-such-decoder-anywhere {wav}",
                        "binary": "head -c 64 {wav}"}, tmp_path / "out", jobs=2, timeout=0.5, progress=False)
    (row,) = [row for row in card.rows if row["decoder"] == "crash" and row["wpm"] == "all"]
    assert row["failed_files"] == row["files"] == 1 and row["cer"] == 1
    failures = {f["decoder"]: f["failure"] for f in card.files}
    assert failures == {"crash": "exited with status 3", "hang": "gave no answer within 0.5 s (stopped)",
                        "missing": "no-such-decoder-anywhere is not installed or not on the PATH",
                        "binary": failures["binary"]} and failures["binary"].startswith("printed non-text")
    assert sorted(os.listdir(tmp_path / "out")) == ["cer.png", "cer.svg", "files.csv", "report.md", "results.csv",
                                                     "results.json", "thresholds.csv"]


def test_a_suite_makes_the_same_files_every_time(tmp_path):
    for cache in ("one", "two"):
        score(SUITE, {"none": lambda samples, rate: ""}, cache=tmp_path / cache, progress=False)
    (one,), (two,) = os.listdir(tmp_path / "one"), os.listdir(tmp_path / "two")
    match, mismatch, errors = filecmp.cmpfiles(tmp_path / "one" / one, tmp_path / "two" / two,
                                               os.listdir(tmp_path / "one" / one), shallow=False)
    assert len(match) == 2 * 12 and not mismatch and not errors


@pytest.mark.parametrize("args, says", [
    (["--suite", "BAD", "--decoder", "x=cat {wav}"], "unknown key 'colour'"),
    (["--suite", "awgn-v1", "--decoder", "x=cat {file}"], "unknown placeholder {file}"),
    (["--suite", "awgn-v1", "--decoder", "cat {wav}"], "give NAME="),
    (["--suite", "awgn-v1", "--decoder", "multimon-ng", "-o", "EXISTS"], "exists: give a new folder"),
])
def test_bad_input_is_refused_before_anything_runs(tmp_path, capsys, args, says):
    (tmp_path / "bad.toml").write_text('name = "x"\n[[sweep]]\ncondition = "a"\nsnr = 3\ncolour = "red"\n')
    args = [{"BAD": str(tmp_path / "bad.toml"), "EXISTS": str(tmp_path)}.get(a, a) for a in args]
    out = tmp_path / "new"
    assert cli.main(args + ([] if "-o" in args else ["-o", str(out)])) == 2
    err = capsys.readouterr().err
    assert says in err and err.count("\n") == 1 and not out.exists()
