import pytest

import vantel
from vantel import vocab


def test_vocabulary_is_what_the_encoders_send_and_round_trips():
    printable = "".join(chr(c) for c in range(0x20, 0x7F) if chr(c) not in "<>")
    for extended in (False, True):
        clip = vantel.generate(message=printable, extended=extended, rate=8000, wpm=60, quiet_warnings=True)
        sent = {text for text, _, _ in clip.labels}
        assert sent <= set(vocab.SYMBOLS)
        assert vocab.targets(clip.labels) == vocab.encode(clip.settings["message_encoded"])
    assert sent | {""} == set(vocab.SYMBOLS) - set(vocab.PROSIGNS)

    message = " ".join(vocab.PROSIGNS) + " cq de w1aw = 73"
    clip = vantel.generate(message=message, extended=True, rate=8000, wpm=60, quiet_warnings=True)
    ids = vocab.targets(clip.labels)
    assert vocab.decode(ids) == message.upper()
    assert vocab.SYMBOLS[0] == "" and vocab.BLANK == 0 and len(set(vocab.SYMBOLS)) == vocab.SIZE
    with pytest.raises(ValueError, match="<XYZ>"):
        vocab.encode("CQ <XYZ>")


def test_ctc_reading_and_error_rates():
    path = [0, 5, 5, 0, 5, 1, 1, 0, 14, 14]  # D D, space, M with repeats and blanks
    assert vocab.decode(vocab.ctc_collapse(path)) == "DD M"
    scores = [[[9 if c == i else 0 for c in range(vocab.SIZE)] for i in path]] * 2
    assert vocab.greedy_decode(scores, lengths=[10, 3]) == ["DD M", "D"]
    assert vocab.cer("CQ <AR>", "CQ  AR") == pytest.approx(2 / 4)
    assert vocab.cer(["ABCD", "EF"], ["ABD", "EFG"]) == pytest.approx(2 / 6)
    assert list(vocab.frames([0, 159, 160, 8000], 160)) == [0, 0, 1, 50] and vocab.frame_count(8000, 160) == 51
