"""vantel.sweep() and python3 -m vantel sweep against vantel-gen --sweep."""

import _thread
import csv
import json
import os
import re
import pathlib
import signal
import subprocess
import sys
import threading
import time

import pytest

import vantel
from conftest import folder_bytes, manifest_rows, run_gen

MESSAGES = "cq test\nvvv de vantel\r\n\nparis 73\n"
# Options as keywords, and the same for the command (with the messages file).
SMALL = {"snr": "-6:6:6", "wpm": [20, 25], "rate": 8000, "level": "auto", "seed": 7, "rise": "0,4"}
SMALL_ARGS = ["--snr", "-6:6:6", "--wpm", "20,25", "--rate", "8000", "--level", "auto", "--seed", "7",
              "--rise", "0,4"]
# Long enough that a stop lands in the middle.
LONG = {"mode": "tone", "tone_length": 30, "rate": 48000, "snr": "0:29:1", "level": "auto"}
LONG_ARGS = ["--mode", "tone", "--tone-length", "30", "--rate", "48000", "--snr", "0:29:1", "--level", "auto"]


@pytest.fixture(scope="module")
def reference(tmp_path_factory):
    """The folders vantel-gen --sweep writes."""
    root = tmp_path_factory.mktemp("reference")
    (root / "msgs.txt").write_text(MESSAGES)
    for name, args in (("small", SMALL_ARGS + ["--messages", "msgs.txt"]), ("long", LONG_ARGS)):
        done = run_gen(["--sweep", "-q", "-o", name, *args], root)
        assert done.returncode == 0, done.stderr
    return root


@pytest.fixture(scope="module")
def client():
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as c:
        yield c


def csv_rows(path):
    with open(path, newline="", encoding="utf-8") as f:
        return list(csv.DictReader(f))


def assert_consistent(folder, reference, ignore=(), audiofolder=False):
    """Only complete files, each the reference's, and a manifest (and with
    `audiofolder` metadata.csv) listing exactly them in file order with the
    reference's rows."""
    folder = pathlib.Path(folder)
    rows = manifest_rows(folder)
    listed = [row["file"] for row in rows]
    entries = sorted(p.name for p in folder.iterdir() if p.name not in ignore)
    assert entries == sorted(listed + ["manifest.csv", "manifest.jsonl"] + ["metadata.csv"] * audiofolder)
    if audiofolder:
        assert [row["file_name"] for row in csv_rows(folder / "metadata.csv")] == listed
    expected = {row["file"]: row for row in manifest_rows(reference)}
    assert rows == [expected[name] for name in listed]
    assert [row["index"] for row in rows] == sorted(row["index"] for row in rows)
    for name in listed:
        assert (folder / name).read_bytes() == (reference / name).read_bytes(), name
    csv = (reference / "manifest.csv").read_bytes().split(b"\n")
    by_index = {row["index"]: line for row, line in zip(manifest_rows(reference), csv[1:])}
    assert (folder / "manifest.csv").read_bytes() == b"\n".join(
        [csv[0]] + [by_index[row["index"]] for row in rows] + [b""])
    return listed


@pytest.mark.parametrize("where", ["here", "dask"])
def test_a_sweep_writes_vantel_gens_folder(tmp_path, reference, where, request, monkeypatch):
    (tmp_path / "msgs.txt").write_text(MESSAGES)
    client = request.getfixturevalue("client") if where == "dask" else None
    monkeypatch.chdir(tmp_path)  # the folder and messages file named as the command was given them
    result = vantel.sweep("small", client=client, messages="msgs.txt", jobs=2 if client is None else None, **SMALL)
    assert folder_bytes(tmp_path / "small") == folder_bytes(reference / "small")
    assert result.files == [row["file"] for row in manifest_rows(reference / "small")]
    assert result.folder == "small" and result.clipping_warning is None


def test_refusals_are_vantel_gens_and_write_nothing(tmp_path, reference, client):
    (tmp_path / "full").mkdir()
    (tmp_path / "full" / "manifest.csv").write_text("")
    cases = [
        ({"snr": "1:0:1"}, ["--snr", "1:0:1"]),
        ({"wpm": "20,20"}, ["--wpm", "20,20"]),
        ({"messages": tmp_path / "none.txt"}, ["--messages", str(tmp_path / "none.txt")]),
    ]
    for options, args in cases:
        done = run_gen(["--sweep", "-o", str(tmp_path / "new"), *args], tmp_path)
        with pytest.raises(ValueError) as error:
            vantel.sweep(tmp_path / "new", client=client, **options)
        assert done.returncode == 2 and str(error.value) == done.stderr.strip().removeprefix("vantel-gen: ")
    with pytest.raises(ValueError, match="already holds manifest.csv"):
        vantel.sweep(tmp_path / "full", client=client)
    with pytest.raises(ValueError, match="^output= "):
        vantel.sweep(tmp_path / "new", output="x")
    assert sorted(os.listdir(tmp_path)) == ["full"]


def test_a_failing_file_on_the_cluster_stops_the_sweep_cleanly(tmp_path, reference, client, monkeypatch):
    # A worker cannot create file 3's temporary: something else holds its name.
    from vantel import _sweep
    monkeypatch.setattr(_sweep, "_sweep_token", lambda: "t")
    names = [row["file"] for row in manifest_rows(reference / "long")]
    folder = tmp_path / "long"
    folder.mkdir()
    squats = {f"{names[3]}.partial-t-{pid}" for pid in client.run(os.getpid).values()}
    for squat in squats:
        (folder / squat).mkdir()
    with pytest.raises(RuntimeError) as error:
        vantel.sweep(folder, client=client, **LONG)
    message = str(error.value)
    assert message.startswith(f"{names[3]}: Cannot create {folder / names[3]}: ")
    listed = assert_consistent(folder, reference / "long", ignore=squats)
    assert message.endswith(f"({len(listed)} of 30 files complete, listed in {folder / 'manifest.csv'})")
    assert names[3] not in listed and len(listed) < 30


def test_an_audiofolder_lists_every_file_with_its_text_and_labels(tmp_path, client, capfd):
    # A prosign, quotes and a comma: texts CSV must quote; the last seed there is.
    messages = ['cq "de" <AR>', "paris, 73"]
    (tmp_path / "msgs.txt").write_text("\n".join(messages) + "\n")
    options = {"extended": True, "snr": [0, 10], "rate": 8000, "level": "auto", "seed": 2**64 - 1}
    done = run_gen(["--sweep", "-q", "--audiofolder", "-o", "command", "--messages", "msgs.txt", "--extended",
                    "--snr", "0,10", "--rate", "8000", "--level", "auto", "--seed", str(2**64 - 1)], tmp_path)
    assert done.returncode == 0, done.stderr
    capfd.readouterr()
    vantel.sweep(tmp_path / "set", client=client, audiofolder=True, progress=True, messages=messages, **options)
    assert re.search(r"\r4/4 files  \d+:\d\d elapsed  \d+:\d\d left\n", capfd.readouterr().err)
    folder = tmp_path / "set"
    assert folder_bytes(folder) == folder_bytes(tmp_path / "command")

    metadata, table, rows = csv_rows(folder / "metadata.csv"), csv_rows(folder / "manifest.csv"), manifest_rows(folder)
    assert sorted(row["file_name"] for row in metadata) == sorted(p.name for p in folder.glob("*.WAV"))
    assert len(metadata) == len(table) == len(rows) == 4
    for meta, line, row in zip(metadata, table, rows):
        labels = [[label["char"], label["start"], label["end"]] for label in row["labels"]]
        assert (meta["file_name"], meta["text"]) == (row["file"], row["message_encoded"])
        assert json.loads(meta["labels"]) == json.loads(line["labels_with_text"]) == row["labels_with_text"] == labels
        assert meta["seed"] == line["seed"] == line["seed_text"] == row["seed_text"] == row["seed"]
        assert [meta[k] for k in ("index", "mode", "wpm", "tone_hz", "snr_db", "samples")] == \
            [line[k] for k in ("index", "mode", "wpm", "tone_hz", "snr_db", "samples")]
    assert [row["text"] for row in metadata[::2]] == ['CQ "DE" <AR>', "PARIS, 73"]


# A worker with no vantel to import, or another version of it.
WORKER_WITHOUT_THIS_VANTEL = """
import asyncio, sys, types
from distributed import Worker
sys.modules["vantel"] = None if sys.argv[2] == "none" else types.SimpleNamespace(__version__=sys.argv[2])

async def main():
    async with Worker(sys.argv[1], nthreads=1, name=sys.argv[2]) as worker:
        await worker.finished()

asyncio.run(main())
"""


def test_workers_without_this_vantel_are_named_before_anything_is_written(tmp_path):
    distributed = pytest.importorskip("distributed")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    with distributed.LocalCluster(n_workers=1, threads_per_worker=1, processes=False, protocol="tcp://",
                                  host="127.0.0.1", dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        workers = [subprocess.Popen([sys.executable, "-c", WORKER_WITHOUT_THIS_VANTEL, cluster.scheduler_address,
                                     name], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                   for name in ("none", "0.0.1")]
        try:
            client.wait_for_workers(3, timeout=120)
            address = {info["name"]: a for a, info in client.scheduler_info()["workers"].items()}
            with pytest.raises(RuntimeError) as error:
                vantel.sweep(tmp_path / "set", client=client, snr=[0, 10])
        finally:
            for worker in workers:
                worker.terminate()
                worker.wait()
    version = vantel.__version__
    assert str(error.value) == (
        f"vantel cannot be imported on {address['none']} (ModuleNotFoundError: import of vantel halted; None in "
        f"sys.modules); {address['0.0.1']} has vantel 0.0.1, not {version} as here: install the vantel {version} "
        "wheel on these workers of the cluster (every file must be made by the same vantel), then run the sweep again")
    assert not (tmp_path / "set").exists()


def interrupt_when_a_file_appears(folder, interrupt):
    def watch():
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if folder.is_dir() and any(p.suffix == ".WAV" for p in folder.iterdir()):
                interrupt()
                return
            time.sleep(0.01)

    watcher = threading.Thread(target=watch, daemon=True)
    watcher.start()
    return watcher


CLUSTER_STOPPED_BY_CTRL_C = """
import sys, distributed, vantel
with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                              dashboard_address=None) as cluster, distributed.Client(cluster) as client:
    print("ready", flush=True)
    try:
        vantel.sweep(sys.argv[1], client=client, **eval(sys.argv[2]))
    except vantel.SweepInterrupted as stopped:
        print("stopped:", stopped, flush=True)
"""


def test_ctrl_c_in_a_terminal_stops_the_workers_too_and_the_folder_still_ends_well(tmp_path, reference):
    # Ctrl-C in a terminal signals the whole process group: the client and
    # the cluster's worker processes alike.
    pytest.importorskip("distributed")
    folder = tmp_path / "long"
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    running = subprocess.Popen([sys.executable, "-c", CLUSTER_STOPPED_BY_CTRL_C, str(folder), repr(LONG)],
                               cwd=tmp_path, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                               start_new_session=True)
    watcher = interrupt_when_a_file_appears(folder, lambda: os.killpg(running.pid, signal.SIGINT))
    out, err = running.communicate(timeout=300)
    watcher.join()
    listed = assert_consistent(folder, reference / "long")
    assert 1 <= len(listed) < 30, (out, err)
    assert f"stopped: interrupted: {len(listed)} of 30 files complete" in out, (out, err)


@pytest.mark.parametrize("where", ["here", "dask"])
def test_ctrl_c_leaves_complete_files_and_their_manifest(tmp_path, reference, where, request):
    client = request.getfixturevalue("client") if where == "dask" else None
    folder = tmp_path / "long"
    watcher = interrupt_when_a_file_appears(folder, _thread.interrupt_main)
    with pytest.raises(vantel.SweepInterrupted) as error:
        vantel.sweep(folder, client=client, audiofolder=True, **LONG)
    watcher.join()
    listed = assert_consistent(folder, reference / "long", audiofolder=True)
    assert 1 <= len(listed) < 30
    assert str(error.value) == f"interrupted: {len(listed)} of 30 files complete, listed in {folder / 'manifest.csv'}"


def module_command(args, cwd, **kwargs):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    return subprocess.Popen([sys.executable, "-m", "vantel", *args], cwd=cwd, env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, **kwargs)


def test_the_command_prints_and_exits_as_vantel_gen(tmp_path, reference, client):
    (tmp_path / "msgs.txt").write_text(MESSAGES)
    scheduler = client.scheduler.address
    done = module_command(["sweep", "--scheduler", scheduler, "-o", "small", "--messages", "msgs.txt", *SMALL_ARGS],
                          tmp_path)
    out, err = done.communicate(timeout=300)
    # On a loaded machine Dask's client may retry a connection and asyncio
    # then reports the abandoned attempt's timeout; the sweep itself is done.
    err = err.replace("Future exception was never retrieved\nfuture: <Future finished exception=TimeoutError('Timeout')>"
                      "\nTimeoutError: Timeout\n", "")
    assert (done.returncode, err) == (0, "")
    assert out == "36 files and their manifest in small\n"
    assert folder_bytes(tmp_path / "small") == folder_bytes(reference / "small")

    helped = module_command(["sweep", "--help"], tmp_path)
    out, err = helped.communicate(timeout=60)
    assert helped.returncode == 0 and out.endswith(run_gen(["--help"], tmp_path).stdout)

    bad = module_command(["sweep", "-o", "x", "--snr", "3:1:1"], tmp_path)
    out, err = bad.communicate(timeout=60)
    command = run_gen(["--sweep", "-o", "x", "--snr", "3:1:1"], tmp_path)
    assert (bad.returncode, out, err) == (2, "", command.stderr.replace("vantel-gen: ", "vantel: "))

    clipped = module_command(["sweep", "-o", "loud", "--snr", "-10,20", "--strict"], tmp_path)
    out, err = clipped.communicate(timeout=60)
    command = run_gen(["--sweep", "-q", "-o", "loud-command", "--snr", "-10,20", "--strict"], tmp_path)
    assert command.returncode == clipped.returncode == 3
    assert err == command.stderr.replace("vantel-gen: ", "vantel: ").replace("loud-command", "loud")


@pytest.mark.parametrize("where", ["here", "dask"])
def test_sigint_stops_the_command_with_status_130(tmp_path, reference, where, request):
    scheduler = ["--scheduler", request.getfixturevalue("client").scheduler.address] if where == "dask" else []
    folder = tmp_path / "long"
    running = module_command(["sweep", *scheduler, "-o", "long", *LONG_ARGS], tmp_path)
    watcher = interrupt_when_a_file_appears(folder, lambda: running.send_signal(signal.SIGINT))
    out, err = running.communicate(timeout=300)
    watcher.join()
    listed = assert_consistent(folder, reference / "long")
    assert running.returncode == 130, err
    assert err == f"vantel: interrupted: {len(listed)} of 30 files complete, listed in long/manifest.csv\n"
    assert 1 <= len(listed) < 30
