"""The package against the tree it belongs to: its version, its result
codes and its README's example, run as written."""

import os
import re
import subprocess
import sys

import kestrel
from conftest import PYTHON_DIR, SOURCE_DIR


def test_version_is_the_projects():
    cmake = (SOURCE_DIR / "CMakeLists.txt").read_text()
    version = re.search(r"project\(Kestrel VERSION (\S+)", cmake).group(1)
    assert kestrel.__version__ == version


def test_result_codes_are_the_headers():
    header = (SOURCE_DIR / "include" / "kestrel" / "kestrel.h").read_text()
    codes = {name: int(value) for name, value in re.findall(r"\bRDR_(\w+) = (-?\d+)", header)}
    assert codes, "no result codes in kestrel.h"
    assert {r.name: r.value for r in kestrel.Result} == codes
    for code in kestrel.Result:
        assert kestrel.KestrelError("op", code).meaning != "unknown result code"


def test_readme_example_runs_as_written(tmp_path):
    readme = (PYTHON_DIR / "README.md").read_text()
    blocks = re.findall(r"```python\n(.*?)```", readme, re.S)
    outputs = re.findall(r"prints\n\n```\n(.*?)```", readme, re.S)
    assert len(blocks) == 1 and len(outputs) == 1
    env = dict(os.environ, PYTHONPATH=str(PYTHON_DIR))
    if env.get("KESTREL_LIBDIR"):
        env["KESTREL_LIBDIR"] = os.path.abspath(env["KESTREL_LIBDIR"])
    run = subprocess.run([sys.executable, "-c", blocks[0]], capture_output=True, text=True, env=env,
                         cwd=tmp_path, timeout=120)
    assert run.returncode == 0, run.stderr
    assert run.stdout == outputs[0]
