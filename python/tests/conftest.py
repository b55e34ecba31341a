"""Fixtures: the reader simulator on a pseudo-terminal, where the project's
files are, and the independent peers of the cross-checks.

KESTREL_LIBDIR names the directory of libkestrel; the simulator is
KESTREL_READERSIM, else kestrel-readersim in that directory or on PATH.
"""

import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

PYTHON_DIR = Path(__file__).resolve().parent.parent
SOURCE_DIR = PYTHON_DIR.parent
sys.path.insert(0, str(PYTHON_DIR))

# A TTY name that discovery probes.
TTY_NAME = "usbserial-00001234"


def under_ci() -> bool:
    return os.environ.get("CI", "") not in ("", "0", "false")


def require_peers(*programs: str) -> None:
    """Skips the test unless every named peer program is on PATH; under CI
    (CI set and not "0" or "false") fails it instead, so that a missing
    install step never passes a cross-check."""
    missing = " ".join(p for p in programs if not shutil.which(p))
    if missing:
        message = f"peer missing: {missing} (scripts/install-deps.sh peers)"
        if under_ci():
            pytest.fail(f"{message}, under CI")
        pytest.skip(message)


def simulator_program() -> str:
    given = os.environ.get("KESTREL_READERSIM")
    if given:
        return given
    found = shutil.which("kestrel-readersim", path=os.pathsep.join(
        filter(None, [os.environ.get("KESTREL_LIBDIR"), os.environ.get("PATH")])))
    if not found:
        pytest.fail("kestrel-readersim not found: set KESTREL_READERSIM or KESTREL_LIBDIR")
    return found


@pytest.fixture
def simulator():
    """Starts kestrel-readersim with the given options; returns its terminal's
    path. Every simulator started is stopped after the test."""
    started = []

    def start(*options: str) -> str:
        process = subprocess.Popen([simulator_program(), *options], stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True)
        started.append(process)
        path = process.stdout.readline().strip()
        if not path:
            pytest.fail(f"kestrel-readersim printed no terminal: {process.stderr.read()}")
        return path

    yield start
    for process in started:
        process.terminate()
        process.wait(timeout=30)
        process.stdout.close()
        process.stderr.close()
