#!/usr/bin/python3
"""The scorecard's own cost against multimon-ng's decoding (run by hand):

    PYTHONPATH=build/python /usr/bin/python3 bench/score_bench.py [--quick]

Runs awgn-v1 (or a tenth of it) with the multimon-ng adapter on one thread,
twice side by side: with every file made on the fly, and with the files
taken from a cache folder filled beforehand. For each, the decoder's time
(sox resampling and multimon-ng, as the adapter runs them, process starts
included) against the scorecard's: making or reading the file, writing it
for the decoder, scoring the copy and the bookkeeping, i.e. the run's time
less the decoder's.
"""

import shutil
import sys
import tempfile
import time

from vantel.scorecard import card


def measure(suite, made, cache):
    started = time.perf_counter()
    scorecard = card.execute(suite, made, jobs=1, cache=cache, progress=False)
    total = time.perf_counter() - started
    decoding = sum(scorecard.decoder_seconds.values())
    return total, decoding, total - decoding


def main():
    quick = "--quick" in sys.argv[1:]
    suite, made = card.prepare("awgn-v1", {"multimon-ng": "multimon-ng"}, quick)
    folder = tempfile.mkdtemp(prefix="vantel-score-bench-")
    try:
        card.execute(suite, made, jobs=2, cache=folder, progress=False)  # fills the cache
        print(f"awgn-v1{' (quick)' if quick else ''}: {len(suite.files)} files, one thread")
        print(f"{'files':<18}{'run s':>9}{'decoder s':>11}{'scorecard s':>13}{'share':>8}")
        for label, cache in (("made on the fly", None), ("from the cache", folder)):
            total, decoding, overhead = measure(suite, made, cache)
            print(f"{label:<18}{total:9.2f}{decoding:11.2f}{overhead:13.2f}{overhead / decoding:8.1%}")
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
