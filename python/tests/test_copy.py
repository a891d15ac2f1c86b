"""vantel-copy: the staircase finds a simulated listener's 5 % and 50 %
points, and a session run through main() is stored as one JSON line."""

import json
import math
import random

import numpy as np
import pytest

from vantel.scorecard import copytest
from vantel.scorecard.scoring import compare
from vantel.scorecard.texts import make_text

MIDDLE_DB, SPREAD_DB = 3.0, 1.5  # the listener's CER is 50 % at label +3 dB
LETTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"


def listener_copy(rng, text, snr):
    """Each character right with probability 1 - CER(snr), else another letter."""
    cer = 1 / (1 + math.exp((snr - MIDDLE_DB) / SPREAD_DB))
    return "".join(rng.choice(LETTERS.replace(c, "")) if c != " " and rng.random() < cer else c for c in text)


def test_staircase_finds_the_listeners_points_in_five_minutes_of_clips():
    five_db = MIDDLE_DB + SPREAD_DB * math.log(19)
    misses_50, misses_5 = [], []
    for seed in range(5):
        rng, stairs = random.Random(seed), copytest.Staircase(start_db=10)
        for clip in range(30):
            snr = stairs.next_snr()
            text = make_text("groups", 100 * seed + clip, 10)
            stairs.record(snr, compare(text, listener_copy(rng, text, snr)))
        estimate = stairs.estimate()
        misses_50.append(estimate.snr_50_db - MIDDLE_DB)
        misses_5.append(estimate.snr_5_db - five_db)
    assert max(map(abs, misses_50)) < 1.0 and max(map(abs, misses_5)) < 1.5, (misses_50, misses_5)
    assert abs(np.mean(misses_50)) < 0.5 and abs(np.mean(misses_5)) < 0.75, (misses_50, misses_5)
    # Counts exactly as the curve expects them give the curve back.
    snrs, chars = np.arange(-2.0, 10.0, 1.5), np.full(8, 40)
    fitted = copytest.fit_logistic(snrs, chars * copytest.expected_cer(snrs, MIDDLE_DB, SPREAD_DB), chars)
    assert np.allclose(fitted, (MIDDLE_DB, SPREAD_DB), atol=1e-3)
    # A copy with no errors has no crossing: no number is made up for it.
    stairs = copytest.Staircase()
    stairs.record(stairs.next_snr(), compare("ABCDE FGHIJ", "abcde fghij"))
    assert stairs.estimate().snr_50_db is None and "below +10.0 dB" in stairs.estimate().note


def test_a_session_is_played_copied_and_stored(tmp_path, capsys):
    # Clip 1 copied; clip 2 replayed once, then copied; Ctrl-D during clip 3.
    lines = ["", "ABCDE FGHIJ", "", "", "XYZ", ""]
    played = []

    def read_line(prompt):
        if not lines:
            raise EOFError
        return lines.pop(0)

    terminal = copytest.Terminal(read_line=read_line, write=lambda *a: None,
                                 play=lambda samples, rate: played.append((samples, rate)))
    data = tmp_path / "data" / "vantel"
    assert copytest.main(["--wpm", "25", "--seed", "7", "--data-dir", str(data)], terminal) == 0
    assert [(samples.dtype, rate) for samples, rate in played] == [(np.int16, 8000)] * 4
    clips = [samples for samples, _ in played]
    assert np.array_equal(clips[1], clips[2]) and not np.array_equal(clips[0], clips[1])  # the replay

    stored = (data / copytest.SESSIONS_FILE).read_text().splitlines()
    session = json.loads(stored[0])
    assert len(stored) == 1 and (session["wpm"], session["seed"], session["kind"]) == (25, 7, "groups")
    first, second = session["trials"]
    assert (first["typed"], first["replayed"], second["typed"], second["replayed"]) == \
        ("ABCDE FGHIJ", False, "XYZ", True)
    for trial in session["trials"]:
        score = compare(trial["reference"], trial["typed"])
        assert (trial["chars"], trial["errors"]) == (score.chars, score.errors) and score.chars >= 10
        assert trial["snr_2500_db"] == trial["snr_label_db"] - 10
    assert session["chars"] == first["chars"] + second["chars"]
    assert {"cer_5pct_snr_label_db", "cer_50pct_snr_2500_db", "note"} <= set(session["estimates"])

    # No sound server: one line, status 1, nothing stored; bad options: status 2.
    def no_server(samples, rate):
        raise RuntimeError("Cannot play: no sound server (Connection refused)")

    quiet = copytest.Terminal(read_line=lambda prompt: "", write=lambda *a: None, play=no_server)
    capsys.readouterr()
    assert copytest.main(["--data-dir", str(tmp_path / "none")], quiet) == 1
    assert capsys.readouterr().err == "vantel-copy: Cannot play: no sound server (Connection refused)\n"
    assert not (tmp_path / "none").exists()
    with pytest.raises(SystemExit) as refused:
        copytest.main(["--characters", "5"], quiet)
    assert refused.value.code == 2
