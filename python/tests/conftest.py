"""Shared fixtures: the repository, the compensate tool and the bundled examples.

The build registers this suite with CTest and sets COMPENSATE (the tool built beside the
module) and COMPENSATION_SOURCE_DIR; run by hand, PYTHONPATH=build/python and the defaults
below find the same.
"""

import json
import os
import pathlib
import subprocess

import pytest

SOURCE_DIR = pathlib.Path(
    os.environ.get("COMPENSATION_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2])
)
TOOL = os.environ.get("COMPENSATE", str(SOURCE_DIR / "build" / "cli" / "compensate"))
EXAMPLES = SOURCE_DIR / "examples"
#: The bundled scenarios: directory and procedure.
SCENARIOS = {
    "quick": "quick",
    "full": "full",
    "fullfull0": "fullfull",
    "fullfull1": "fullfull",
    "fullfull2": "fullfull",
}


def run_tool(*args, cwd=SOURCE_DIR, check=True):
    """Runs the compensate tool; returns (exit status, standard output, standard error)."""
    # Messages quote what they refuse, bytes and carriage returns included: decode them as the
    # bindings do, without translating line ends.
    done = subprocess.run([TOOL, *map(str, args)], cwd=cwd, capture_output=True)
    out, err = (s.decode("utf-8", "surrogateescape") for s in (done.stdout, done.stderr))
    if check and done.returncode not in (0, 3):
        raise AssertionError(f"compensate {args} failed: {err}")
    return done.returncode, out, err


def tool_error(*args, cwd=SOURCE_DIR):
    """The message the tool prints for bad input (exit status 2), without its prefix."""
    status, _, err = run_tool(*args, cwd=cwd, check=False)
    assert status == 2, err
    prefix = "compensate: error: "
    assert err.startswith(prefix), err
    return err[len(prefix):].rstrip("\n")


def scenario(name):
    path = EXAMPLES / name / "scenario.json"
    return path, json.loads(path.read_text())


@pytest.fixture(autouse=True)
def _run_from_the_repository(monkeypatch, tmp_path_factory):
    # The examples' scenario files and the tool's result records use paths relative to it; the
    # trace files of the runs go to a temporary directory, never into the repository.
    monkeypatch.chdir(SOURCE_DIR)
    monkeypatch.setenv("COMPENSATION_TRACE_DIR", str(tmp_path_factory.mktemp("trace")))
