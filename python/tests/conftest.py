import json
import os
import pathlib
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
VANTEL_GEN = os.environ.get("VANTEL_GEN", str(ROOT / "build" / "apps" / "vantel-gen" / "vantel-gen"))


def cli_args(options):
    """vantel-gen's command line for generate()-style keywords, written out
    independently of the package's own conversion."""
    args = []
    for key, value in options.items():
        if value is True:
            args.append("--" + key.replace("_", "-"))
        elif value not in (False, None):
            args += ["--" + key.replace("_", "-"), str(value)]
    return args


def run_gen(args, cwd):
    return subprocess.run([VANTEL_GEN, *args], cwd=cwd, capture_output=True, text=True)


def manifest_rows(folder):
    with open(pathlib.Path(folder) / "manifest.jsonl", encoding="utf-8") as f:
        return [json.loads(line) for line in f]


def folder_bytes(folder):
    """Every entry of a folder and its bytes."""
    return {p.name: p.read_bytes() for p in sorted(pathlib.Path(folder).iterdir())}


@pytest.fixture
def vantel_gen():
    return run_gen
